// Archive handles: listing state behind OpenArchive, FindFirst/FindNext and the size queries.
//
// A wildcard without "*" or "?" looks up one name. What such lookups found is kept when the
// handle closes, so that an extraction of just those entries that follows at once does not
// walk the archive (or read a 7-Zip header) again.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_set>

#include "ArchiverCore.h"
#include "EntryData.h"
#include "Text.h"
#include "common_archiver_api.h"

namespace kestrel::archiver {
namespace {

// What tells one archive file from another, or from itself changed.
struct Identity {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    struct timespec mtime {};
    bool operator==(const Identity& o) const {
        return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec;
    }
};

bool IdentityOf(const std::string& c_strPath, Identity* pstId) {
    struct stat st {};
    if (stat(c_strPath.c_str(), &st) != 0) return false;
    *pstId = Identity{st.st_dev, st.st_ino, st.st_size, st.st_mtim};
    return true;
}

// Entries found by name, and for 7-Zip the source standing at the one found.
struct Found {
    Format eFormat;
    std::string strPath;
    Identity stIdentity;
    std::vector<Entry> vEntries;
    std::unique_ptr<EntrySource> positioned;
};

// At most this many entries found by name are kept: lookups are for a few names.
constexpr size_t kMaxFound = 64;

struct Handle {
    Format eFormat;
    std::string strPath;
    int64_t llFileSize = 0;
    Identity stIdentity;
    bool bIdentity = false;
    std::unique_ptr<EntrySource> source;
    bool bSourceFresh = true;  // nothing taken from the source yet
    bool bRaw = false;         // 7-Zip: the source is libarchive's reader, not the listing
    bool bExact = false;       // the wildcard names one entry
    NameSet setExact;
    std::vector<Entry> vFound;  // entries found by name (LHA, ZIP)
    bool bPositioned = false;   // 7-Zip: the reader stands at the entry last found by name
    bool bFoundOnce = false;    // the current search has found an entry
    bool bEnded = false;
    std::string strWildcard;
    Entry stCurrent;
    bool bHaveCurrent = false;
    bool bTotalsKnown = false;
    int64_t llTotalOriginal = 0;
    int64_t llTotalCompressed = 0;
};

std::mutex g_mutex;
std::unordered_set<Handle*> g_handles;
std::unique_ptr<Found> g_found;  // left by the last handle closed after lookups by name

// 7-Zip handles keep libarchive's reader until the first listing: a lookup by name walks it
// without a listing, and the extraction may go on from where the lookup stopped.
std::unique_ptr<EntrySource> OpenForHandle(Format eFormat, const std::string& c_strPath,
                                           int64_t* pllSize, bool* pbRaw) {
    *pbRaw = eFormat == Format::SevenZip;
    return OpenEntrySource(eFormat, c_strPath, pllSize,
                           *pbRaw ? SourceUse::Extract : SourceUse::List);
}

// Gives the entries it was handed, in order, and decodes them through the source they came
// from (or a fresh one of the same archive).
class FoundEntries : public EntrySource {
public:
    FoundEntries(std::unique_ptr<EntrySource> inner, std::vector<Entry> vEntries)
        : m_inner(std::move(inner)), m_vEntries(std::move(vEntries)) {}
    ReadResult Next(Entry* pstEntry) override {
        if (m_nNext == m_vEntries.size()) return ReadResult::End;
        *pstEntry = m_vEntries[m_nNext++];
        return ReadResult::Ok;
    }
    int64_t BytesRead() const override { return m_inner->BytesRead(); }
    DataResult ReadData(const Entry& c_stEntry, DataSink* pSink,
                        const char* c_pszPassword) override {
        return m_inner->ReadData(c_stEntry, pSink, c_pszPassword);
    }
    void SkipData(const Entry& c_stEntry) override { m_inner->SkipData(c_stEntry); }
    bool DecodesAnyOrder() const override { return m_inner->DecodesAnyOrder(); }
    void SetInterrupt(Interrupt* pInterrupt) override { m_inner->SetInterrupt(pInterrupt); }
    const std::vector<Entry>* KnownEntries() const override { return &m_vEntries; }

private:
    std::unique_ptr<EntrySource> m_inner;
    std::vector<Entry> m_vEntries;
    size_t m_nNext = 0;
};

// A handle this plug-in gave out and has not closed; null otherwise.
Handle* Lookup(void* hArc) {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto* h = static_cast<Handle*>(hArc);
    return g_handles.count(h) ? h : nullptr;
}

void StoreLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void StoreLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t Clamp32(int64_t v) {
    return v < 0 ? 0 : static_cast<uint32_t>(std::min<int64_t>(v, 0xFFFFFFFFLL));
}

void FillRecord(const Entry& e, void* pvRecord) {
    auto* r = static_cast<uint8_t*>(pvRecord);
    std::memset(r, 0, KESTREL_INDIVIDUALINFO_SIZE);
    StoreLe32(r + KESTREL_INFO_ORIGINAL_SIZE, Clamp32(e.llOriginalSize));
    StoreLe32(r + KESTREL_INFO_COMPRESSED_SIZE, Clamp32(e.llCompressedSize));
    StoreLe32(r + KESTREL_INFO_CRC, e.nCrc);
    StoreLe32(r + KESTREL_INFO_OS_TYPE, e.nOsType);
    if (e.bEncrypted) StoreLe32(r + KESTREL_INFO_FLAG, KESTREL_FLAG_ENCRYPTED);
    uint16_t ratio = 0;
    if (e.llOriginalSize > 0) {
        long double v = static_cast<long double>(e.llCompressedSize) * 1000.0L /
                        static_cast<long double>(e.llOriginalSize);
        ratio = static_cast<uint16_t>(std::min<long double>(v, 65535.0L));
    }
    StoreLe16(r + KESTREL_INFO_RATIO, ratio);
    StoreLe16(r + KESTREL_INFO_DATE, e.nDosDate);
    StoreLe16(r + KESTREL_INFO_TIME, e.nDosTime);
    size_t n = Utf8CutLength(e.strName, KESTREL_INFO_FILENAME_SIZE - 1);
    std::memcpy(r + KESTREL_INFO_FILENAME, e.strName.data(), n);
}

// Takes entries until one matches the wildcard; 0 and the record filled, or -1.
int Advance(Handle* h, void* pvRecord) {
    h->bPositioned = false;
    if (h->bEnded || !h->source) return -1;
    Entry e;
    for (;;) {
        ReadResult r = h->source->Next(&e);
        h->bSourceFresh = false;
        if (r != ReadResult::Ok) {
            h->bEnded = true;
            return -1;
        }
        if (MatchWildcard(h->strWildcard, e.strName)) break;
        // A 7-Zip reader may go on to extract the entry looked up.
        h->source->SkipData(e);
    }
    h->stCurrent = std::move(e);
    h->bHaveCurrent = true;
    if (h->bExact && h->bRaw) {
        // Only at the first entry of the name: the one an extraction takes.
        h->bPositioned = !h->bFoundOnce;
        h->bFoundOnce = true;
    } else if (h->bExact && h->vFound.size() < kMaxFound) {
        h->vFound.push_back(h->stCurrent);
    }
    FillRecord(h->stCurrent, pvRecord);
    return 0;
}

void ComputeTotals(Handle* h) {
    if (h->bTotalsKnown) return;
    int64_t size = 0;
    auto source = OpenEntrySource(h->eFormat, h->strPath, &size, SourceUse::List);
    Entry e;
    // Declared sizes can be anything: the totals stop at the largest value instead of
    // overflowing.
    auto add = [](int64_t a, int64_t b) { return b > INT64_MAX - a ? INT64_MAX : a + b; };
    while (source && source->Next(&e) == ReadResult::Ok) {
        h->llTotalOriginal = add(h->llTotalOriginal, e.llOriginalSize);
        h->llTotalCompressed = add(h->llTotalCompressed, e.llCompressedSize);
    }
    h->bTotalsKnown = true;
}

}  // namespace

uint32_t OpenFailureReason(Format eFormat, const std::string& c_strPath) {
    int64_t size = 0;
    UniqueFd fd = OpenArchiveFile(c_strPath, &size);
    if (!fd.Valid()) {
        // A folder or a pipe is there, but is no archive.
        struct stat st {};
        return stat(c_strPath.c_str(), &st) == 0 ? KESTREL_REASON_UNSUPPORTED
                                                 : KESTREL_REASON_NOT_FOUND;
    }
    // A file that begins (or, for ZIP, ends) as the format does is one of it, damaged.
    uint8_t head[32] = {};
    const int64_t got = ReadUpTo(fd.Get(), 0, head, sizeof head);
    bool mine = false;
    switch (eFormat) {
        case Format::Lha:
            mine = got >= 22 && head[2] == '-' && head[3] == 'l' && head[6] == '-';
            break;
        case Format::SevenZip:
            mine = got >= 6 && std::memcmp(head, "7z\xBC\xAF\x27\x1C", 6) == 0;
            break;
        case Format::Zip: {
            uint8_t tail[22] = {};
            mine = (got >= 4 && std::memcmp(head, "PK\x03\x04", 4) == 0) ||
                   (size >= 22 && ReadAt(fd.Get(), size - 22, tail, sizeof tail) &&
                    std::memcmp(tail, "PK\x05\x06", 4) == 0);
            break;
        }
    }
    if (!mine) return KESTREL_REASON_UNSUPPORTED;
    if (eFormat == Format::SevenZip && SevenZipHeaderEncrypted(c_strPath)) {
        return KESTREL_REASON_ENCRYPTED;
    }
    return KESTREL_REASON_DAMAGED;
}

void* OpenArchive(Format eFormat, const char* c_pszPath, uint32_t* pnReason) try {
    if (pnReason) *pnReason = KESTREL_REASON_NOT_FOUND;
    if (!c_pszPath || !*c_pszPath) return nullptr;
    auto h = std::make_unique<Handle>();
    h->eFormat = eFormat;
    h->strPath = c_pszPath;
    h->source = OpenForHandle(eFormat, h->strPath, &h->llFileSize, &h->bRaw);
    if (!h->source) {
        if (pnReason) *pnReason = OpenFailureReason(eFormat, h->strPath);
        return nullptr;
    }
    if (pnReason) *pnReason = 0;
    h->bIdentity = IdentityOf(h->strPath, &h->stIdentity);
    std::lock_guard<std::mutex> lock(g_mutex);
    g_handles.insert(h.get());
    return h.release();
} catch (...) {
    return nullptr;
}

int CloseArchive(void* hArc) {
    std::unique_ptr<Handle> h;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        auto* p = static_cast<Handle*>(hArc);
        if (!g_handles.erase(p)) return -1;
        h.reset(p);
        if (h->bIdentity && (h->bPositioned || !h->vFound.empty())) {
            auto found = std::make_unique<Found>();
            found->eFormat = h->eFormat;
            found->strPath = h->strPath;
            found->stIdentity = h->stIdentity;
            if (h->bPositioned) {
                found->vEntries.push_back(h->stCurrent);
                found->positioned = std::move(h->source);
            } else {
                found->vEntries = std::move(h->vFound);
            }
            g_found = std::move(found);
        }
    }
    return 0;
}

std::unique_ptr<EntrySource> TakeFoundEntries(Format eFormat, const std::string& c_strPath,
                                              const std::vector<std::string>& c_vNames) try {
    std::unique_ptr<Found> found;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!g_found || g_found->eFormat != eFormat || g_found->strPath != c_strPath) {
            return nullptr;
        }
        found = std::move(g_found);
    }
    Identity now;
    if (!IdentityOf(c_strPath, &now) || !(now == found->stIdentity)) return nullptr;
    // Every name must have been found; the first entry of each name is the one extracted.
    std::vector<Entry> entries;
    NameSet taken;
    for (auto& e : found->vEntries) {
        if (taken.emplace(e.strName, false).second) entries.push_back(std::move(e));
    }
    for (const auto& name : c_vNames) {
        if (!taken.count(name)) return nullptr;
    }
    if (found->positioned && entries.size() != 1) return nullptr;
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.llOrder < b.llOrder; });
    std::unique_ptr<EntrySource> inner = std::move(found->positioned);
    if (!inner) {
        int64_t size = 0;
        inner = OpenEntrySource(eFormat, c_strPath, &size, SourceUse::Extract);
        if (!inner) return nullptr;
    }
    return std::make_unique<FoundEntries>(std::move(inner), std::move(entries));
} catch (...) {
    return nullptr;
}

int FindFirst(void* hArc, const char* c_pszWildcard, void* pvRecord) try {
    Handle* h = Lookup(hArc);
    if (!h || !pvRecord) return -1;
    h->strWildcard = c_pszWildcard ? c_pszWildcard : "*";
    // 7-Zip names use "\" between folders, which "/" stands for here.
    if (h->eFormat == Format::SevenZip) {
        std::replace(h->strWildcard.begin(), h->strWildcard.end(), '/', '\\');
    }
    h->bExact = !h->strWildcard.empty() && h->strWildcard.find_first_of("*?") == std::string::npos;
    if (!h->bSourceFresh) {
        int64_t size = 0;
        h->source = OpenForHandle(h->eFormat, h->strPath, &size, &h->bRaw);
        h->bSourceFresh = true;
    }
    if (h->source && h->bRaw && !h->bExact) {
        h->source = ListSevenZip(std::move(h->source), h->llFileSize);
        h->bRaw = false;
    }
    h->setExact.clear();
    if (h->bExact) h->setExact.emplace(h->strWildcard, false);
    if (h->source) h->source->WantOnly(h->bExact ? &h->setExact : nullptr);
    h->bEnded = false;
    h->bHaveCurrent = false;
    h->bFoundOnce = false;
    return Advance(h, pvRecord);
} catch (...) {
    return -1;
}

int FindNext(void* hArc, void* pvRecord) try {
    Handle* h = Lookup(hArc);
    if (!h || !pvRecord || h->bSourceFresh) return -1;
    return Advance(h, pvRecord);
} catch (...) {
    return -1;
}

uint32_t GetArcFileSize(void* hArc) {
    Handle* h = Lookup(hArc);
    return h ? Clamp32(h->llFileSize) : 0;
}

int GetArcFileSizeEx(void* hArc, int64_t* pllSize) {
    Handle* h = Lookup(hArc);
    if (!h || !pllSize) return 0;
    *pllSize = h->llFileSize;
    return 1;
}

static int64_t ReadSoFar(Handle* h) {
    if (!h->source) return 0;
    if (h->bEnded) return h->llFileSize;
    return std::clamp<int64_t>(h->source->BytesRead(), 0, h->llFileSize);
}

uint32_t GetArcReadSize(void* hArc) {
    Handle* h = Lookup(hArc);
    return h ? Clamp32(ReadSoFar(h)) : 0;
}

int GetArcReadSizeEx(void* hArc, int64_t* pllSize) {
    Handle* h = Lookup(hArc);
    if (!h || !pllSize) return 0;
    *pllSize = ReadSoFar(h);
    return 1;
}

int GetArcOriginalSizeEx(void* hArc, int64_t* pllSize) try {
    Handle* h = Lookup(hArc);
    if (!h || !pllSize) return 0;
    ComputeTotals(h);
    *pllSize = h->llTotalOriginal;
    return 1;
} catch (...) {
    return 0;
}

int GetArcCompressedSizeEx(void* hArc, int64_t* pllSize) try {
    Handle* h = Lookup(hArc);
    if (!h || !pllSize) return 0;
    ComputeTotals(h);
    *pllSize = h->llTotalCompressed;
    return 1;
} catch (...) {
    return 0;
}

int GetOriginalSizeEx(void* hArc, int64_t* pllSize) {
    Handle* h = Lookup(hArc);
    if (!h || !pllSize || !h->bHaveCurrent) return 0;
    *pllSize = h->stCurrent.llOriginalSize;
    return 1;
}

int GetCompressedSizeEx(void* hArc, int64_t* pllSize) {
    Handle* h = Lookup(hArc);
    if (!h || !pllSize || !h->bHaveCurrent) return 0;
    *pllSize = h->stCurrent.llCompressedSize;
    return 1;
}

int GetFileName(void* hArc, char* pszBuffer, uint32_t c_nSize) {
    Handle* h = Lookup(hArc);
    if (!h || !h->bHaveCurrent) return -1;
    const std::string& name = h->stCurrent.strName;
    size_t need = name.size() + 1;
    if (!pszBuffer || c_nSize < need) return static_cast<int>(std::min<size_t>(need, INT32_MAX));
    std::memcpy(pszBuffer, name.c_str(), need);
    return 0;
}

}  // namespace kestrel::archiver
