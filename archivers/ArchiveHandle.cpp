// Archive handles: listing state behind OpenArchive, FindFirst/FindNext and the size queries.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_set>

#include "ArchiverCore.h"
#include "Text.h"
#include "common_archiver_api.h"

namespace kestrel::archiver {
namespace {

struct Handle {
    Format eFormat;
    std::string strPath;
    int64_t llFileSize = 0;
    std::unique_ptr<EntrySource> source;
    bool bSourceFresh = true;  // nothing taken from the source yet
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
    }
    h->stCurrent = std::move(e);
    h->bHaveCurrent = true;
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

void* OpenArchive(Format eFormat, const char* c_pszPath) try {
    if (!c_pszPath || !*c_pszPath) return nullptr;
    auto h = std::make_unique<Handle>();
    h->eFormat = eFormat;
    h->strPath = c_pszPath;
    h->source = OpenEntrySource(eFormat, h->strPath, &h->llFileSize, SourceUse::List);
    if (!h->source) return nullptr;
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
    }
    return 0;
}

int FindFirst(void* hArc, const char* c_pszWildcard, void* pvRecord) try {
    Handle* h = Lookup(hArc);
    if (!h || !pvRecord) return -1;
    if (!h->bSourceFresh) {
        int64_t size = 0;
        h->source = OpenEntrySource(h->eFormat, h->strPath, &size, SourceUse::List);
        h->bSourceFresh = true;
    }
    h->bEnded = false;
    h->bHaveCurrent = false;
    h->strWildcard = c_pszWildcard ? c_pszWildcard : "*";
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
