// 7-Zip entries through libarchive's reader. Names arrive in UTF-8 (read under a UTF-8 thread
// locale) and are reported with "\" between folders.
#include <archive.h>
#include <archive_entry.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cwchar>
#include <vector>

#include "DosTime.h"
#include "EntryData.h"
#include "Text.h"
#include "Utf8.h"

namespace kestrel::archiver {
namespace {

struct ArchiveFree {
    void operator()(struct archive* a) const { archive_read_free(a); }
};

// The archive file as libarchive reads it, with an interrupt asked at each read: libarchive
// may decode much of a solid block to reach an entry without handing out any of it.
struct FileClient {
    UniqueFd fd;
    Interrupt* pInterrupt = nullptr;
    std::vector<char> vBuffer = std::vector<char>(64 * 1024);
};

la_ssize_t ReadFile(struct archive* a, void* pvClient, const void** ppvBuffer) {
    auto* c = static_cast<FileClient*>(pvClient);
    if (c->pInterrupt && c->pInterrupt->Poll()) {
        archive_set_error(a, ECANCELED, "cancelled");
        return -1;
    }
    *ppvBuffer = c->vBuffer.data();
    for (;;) {
        const ssize_t n = read(c->fd.Get(), c->vBuffer.data(), c->vBuffer.size());
        if (n >= 0) return n;
        if (errno != EINTR) {
            archive_set_error(a, errno, "read error");
            return -1;
        }
    }
}

la_int64_t SeekFile(struct archive*, void* pvClient, la_int64_t llOffset, int nWhence) {
    const off_t r = lseek(static_cast<FileClient*>(pvClient)->fd.Get(), llOffset, nWhence);
    return r < 0 ? ARCHIVE_FATAL : r;
}

la_int64_t SkipFile(struct archive*, void* pvClient, la_int64_t llRequest) {
    const int fd = static_cast<FileClient*>(pvClient)->fd.Get();
    const off_t now = lseek(fd, 0, SEEK_CUR);
    return now >= 0 && lseek(fd, llRequest, SEEK_CUR) >= 0 ? llRequest : 0;
}

class SevenZipEntries : public EntrySource {
public:
    SevenZipEntries(std::string strPath, int64_t llSize, double dPackedShare)
        : m_strPath(std::move(strPath)), m_llSize(llSize), m_dPackedShare(dPackedShare) {}

    bool Open();
    ReadResult Next(Entry* pstEntry) override;
    int64_t BytesRead() const override { return m_llRead; }
    DataResult ReadData(const Entry& c_stEntry, DataSink* pSink, const char*) override;
    void SkipData(const Entry& c_stEntry) override {
        Discard(c_stEntry.llOriginalSize, c_stEntry.bEncrypted);
    }
    void WantOnly(const NameSet* pNames) override { m_pWanted = pNames; }
    void SetInterrupt(Interrupt* pInterrupt) override { m_client.pInterrupt = pInterrupt; }

private:
    void Discard(int64_t c_llSize, bool c_bEncrypted);
    // Whether the current entry may be one of the wanted names.
    bool MayBeWanted();

    std::string m_strPath;
    int64_t m_llSize;
    double m_dPackedShare;
    int64_t m_llRead = 0;
    FileClient m_client;  // before the reader, which uses it to its end
    std::unique_ptr<struct archive, ArchiveFree> m_archive;
    struct archive_entry* m_pEntry = nullptr;
    bool m_bPending = false;  // the first header, read by Open, is not handed out yet
    bool m_bDone = false;
    const NameSet* m_pWanted = nullptr;
    std::string m_strKey;
    bool m_bUtf8Names = false;
};

bool SevenZipEntries::Open() {
    Utf8LocaleScope locale;
    m_bUtf8Names = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    int64_t size = 0;
    m_client.fd = OpenArchiveFile(m_strPath, &size);
    if (!m_client.fd.Valid()) return false;
    m_archive.reset(archive_read_new());
    if (!m_archive) return false;
    archive_read_support_format_7zip(m_archive.get());
    archive_read_set_read_callback(m_archive.get(), ReadFile);
    archive_read_set_seek_callback(m_archive.get(), SeekFile);
    archive_read_set_skip_callback(m_archive.get(), SkipFile);
    archive_read_set_callback_data(m_archive.get(), &m_client);
    if (archive_read_open1(m_archive.get()) != ARCHIVE_OK) return false;
    // The format's header lies at the end of the file: read it now, so that a damaged or
    // foreign file fails to open rather than listing nothing.
    int r = archive_read_next_header(m_archive.get(), &m_pEntry);
    if (r == ARCHIVE_EOF) {
        m_bDone = true;
        return true;
    }
    if (r < ARCHIVE_WARN) return false;
    m_bPending = true;
    return true;
}

bool SevenZipEntries::MayBeWanted() {
    // Under a UTF-8 locale libarchive's own form of the name is UTF-8 already; asking for
    // UTF-8 would convert every name once more.
    const char* path =
        m_bUtf8Names ? archive_entry_pathname(m_pEntry) : archive_entry_pathname_utf8(m_pEntry);
    if (!path) return true;
    m_strKey.assign(path);
    if (!IsValidUtf8(m_strKey)) return true;
    std::replace(m_strKey.begin(), m_strKey.end(), '/', '\\');
    if (m_pWanted->find(m_strKey) != m_pWanted->end()) return true;
    m_strKey.push_back('\\');  // a folder
    return m_pWanted->find(m_strKey) != m_pWanted->end();
}

ReadResult SevenZipEntries::Next(Entry* e) {
    if (m_bDone) return ReadResult::End;
    Utf8LocaleScope locale;
    for (;;) {
        if (!m_bPending) {
            int r = archive_read_next_header(m_archive.get(), &m_pEntry);
            if (r == ARCHIVE_EOF) {
                m_bDone = true;
                m_llRead = m_llSize;
                return ReadResult::End;
            }
            if (r < ARCHIVE_WARN) {
                m_bDone = true;
                return ReadResult::Error;
            }
        }
        m_bPending = false;
        // Looking for a few names: others are passed over before their entry is made.
        if (!m_pWanted || MayBeWanted()) break;
        Discard(archive_entry_size_is_set(m_pEntry) ? archive_entry_size(m_pEntry) : 0,
                archive_entry_is_data_encrypted(m_pEntry) != 0);
    }
    m_llRead =
        std::max(m_llRead, std::min<int64_t>(m_llSize, archive_filter_bytes(m_archive.get(), -1)));

    *e = Entry();
    const char* path = archive_entry_pathname_utf8(m_pEntry);
    if (path) {
        e->strName = path;
    } else if (const wchar_t* w = archive_entry_pathname_w(m_pEntry)) {
        e->strName = utf8::FromWide(w);
    }
    if (!IsValidUtf8(e->strName)) {
        Cp932Decoder none;
        std::string fixed;
        DecodeLegacyName(e->strName, &none, &fixed);
        e->strName.swap(fixed);
    }
    std::replace(e->strName.begin(), e->strName.end(), '/', '\\');
    mode_t type = archive_entry_filetype(m_pEntry);
    if (type == AE_IFDIR) {
        e->eKind = EntryKind::Directory;
        if (e->strName.empty() || e->strName.back() != '\\') e->strName.push_back('\\');
    } else if (type == AE_IFLNK) {
        e->eKind = EntryKind::Symlink;
        const char* target = archive_entry_symlink_utf8(m_pEntry);
        if (target) e->strLinkTarget = target;
    } else if (type != AE_IFREG && type != 0) {
        e->eKind = EntryKind::Other;
    } else if (archive_entry_hardlink(m_pEntry)) {
        e->eKind = EntryKind::Other;
    }
    e->llOriginalSize = archive_entry_size_is_set(m_pEntry) ? archive_entry_size(m_pEntry) : 0;
    // A declared size of 2^63 or more comes back negative.
    if (e->llOriginalSize < 0) e->llOriginalSize = INT64_MAX;
    // The format keeps no packed size per file (a solid block packs many together): each
    // file is given its share of the archive.
    const double dPacked = static_cast<double>(e->llOriginalSize) * m_dPackedShare;
    e->llCompressedSize = dPacked < 0x1p63 ? static_cast<int64_t>(dPacked) : INT64_MAX;
    e->nUnixMode = archive_entry_perm(m_pEntry) & 07777;
    e->bEncrypted = archive_entry_is_data_encrypted(m_pEntry) != 0;
    if (archive_entry_mtime_is_set(m_pEntry)) {
        e->llModified = archive_entry_mtime(m_pEntry);
        e->bHasModified = true;
        UnixToLocalDos(e->llModified, &e->nDosDate, &e->nDosTime);
    } else {
        e->nDosDate = (1 << 5) | 1;
    }
    return ReadResult::Ok;
}

DataResult SevenZipEntries::ReadData(const Entry& c_stEntry, DataSink* pSink, const char*) {
    if (c_stEntry.bEncrypted) return DataResult::Encrypted;
    Utf8LocaleScope locale;
    return PumpData(m_archive.get(), pSink);
}

class DiscardSink : public DataSink {
public:
    bool Write(const void*, size_t) override { return true; }
};

void SevenZipEntries::Discard(int64_t c_llSize, bool c_bEncrypted) {
    // libarchive 3.6.2 loses its place in the stream when it skips an entry whose size is a
    // multiple of 65,536 and a later entry is read: decode such entries instead of skipping.
    if (c_llSize > 0 && c_llSize % 65536 == 0 && !c_bEncrypted) {
        DiscardSink discard;
        Utf8LocaleScope locale;
        PumpData(m_archive.get(), &discard);
    }
}

// The listing of a whole archive, read in one pass and kept packed: each file's packed
// size is its share of the archive, which is known only once every size has been seen, and a
// second pass over the header would take as long again. libarchive's own copy of the header
// is released before the first entry is handed out.
class SevenZipListing : public EntrySource {
public:
    SevenZipListing(int64_t llSize) : m_llSize(llSize) {}

    bool Read(EntrySource* pSource);
    ReadResult Next(Entry* pstEntry) override;
    int64_t BytesRead() const override {
        return m_nCount == 0 ? m_llSize
                             : static_cast<int64_t>(static_cast<double>(m_llSize) *
                                                    static_cast<double>(m_nIndex) /
                                                    static_cast<double>(m_nCount));
    }
    DataResult ReadData(const Entry&, DataSink*, const char*) override {
        return DataResult::Unsupported;
    }

private:
    static constexpr size_t kChunkSize = 1 << 20;

    template <class T>
    void Put(const T& c_v) {
        m_strRecord.append(reinterpret_cast<const char*>(&c_v), sizeof(T));
    }
    void PutText(const std::string& c_str) {
        Put(static_cast<uint32_t>(c_str.size()));
        m_strRecord += c_str;
    }
    // Stores the record made by the Puts. Records never straddle chunks, and chunks never
    // grow by doubling: the listing costs what it holds.
    void EndRecord() {
        if (m_vChunks.empty() ||
            m_vChunks.back().size() + m_strRecord.size() > m_vChunks.back().capacity()) {
            m_vChunks.emplace_back().reserve(std::max(kChunkSize, m_strRecord.size()));
        }
        m_vChunks.back() += m_strRecord;
        m_strRecord.clear();
    }
    template <class T>
    T Take() {
        T v;
        std::memcpy(&v, m_vChunks[m_nChunk].data() + m_nPos, sizeof(T));
        m_nPos += sizeof(T);
        return v;
    }
    void TakeText(std::string* pstr) {
        const auto n = Take<uint32_t>();
        pstr->assign(m_vChunks[m_nChunk], m_nPos, n);
        m_nPos += n;
    }

    int64_t m_llSize;
    std::vector<std::string> m_vChunks;
    std::string m_strRecord;
    size_t m_nChunk = 0;
    size_t m_nPos = 0;
    size_t m_nIndex = 0;
    size_t m_nCount = 0;
    bool m_bDamaged = false;  // the header could not be read to its end
    double m_dPackedShare = 1.0;
};

bool SevenZipListing::Read(EntrySource* pSource) {
    int64_t llTotal = 0;
    Entry e;
    ReadResult r;
    while ((r = pSource->Next(&e)) == ReadResult::Ok) {
        PutText(e.strName);
        PutText(e.strLinkTarget);
        Put(static_cast<uint8_t>(e.eKind));
        Put(static_cast<uint8_t>((e.bEncrypted ? 1 : 0) | (e.bHasModified ? 2 : 0)));
        Put(e.llOriginalSize);
        Put(e.llModified);
        Put(e.nUnixMode);
        Put(e.nDosDate);
        Put(e.nDosTime);
        EndRecord();
        llTotal = e.llOriginalSize > INT64_MAX - llTotal ? INT64_MAX : llTotal + e.llOriginalSize;
        ++m_nCount;
    }
    m_bDamaged = r == ReadResult::Error;
    m_dPackedShare =
        llTotal > m_llSize ? static_cast<double>(m_llSize) / static_cast<double>(llTotal) : 1.0;
    return true;
}

ReadResult SevenZipListing::Next(Entry* e) {
    if (m_nIndex == m_nCount) return m_bDamaged ? ReadResult::Error : ReadResult::End;
    if (m_nPos == m_vChunks[m_nChunk].size()) {
        ++m_nChunk;
        m_nPos = 0;
    }
    *e = Entry();
    TakeText(&e->strName);
    TakeText(&e->strLinkTarget);
    e->eKind = static_cast<EntryKind>(Take<uint8_t>());
    const auto nFlags = Take<uint8_t>();
    e->bEncrypted = (nFlags & 1) != 0;
    e->bHasModified = (nFlags & 2) != 0;
    e->llOriginalSize = Take<int64_t>();
    e->llModified = Take<int64_t>();
    e->nUnixMode = Take<uint32_t>();
    e->nDosDate = Take<uint16_t>();
    e->nDosTime = Take<uint16_t>();
    // The format keeps no packed size per file (a solid block packs many together): each
    // file is given its share of the archive.
    const double dPacked = static_cast<double>(e->llOriginalSize) * m_dPackedShare;
    e->llCompressedSize = dPacked < 0x1p63 ? static_cast<int64_t>(dPacked) : INT64_MAX;
    ++m_nIndex;
    return ReadResult::Ok;
}

}  // namespace

std::unique_ptr<EntrySource> OpenSevenZipEntries(const std::string& c_strPath, int64_t* pllFileSize,
                                                 SourceUse eUse) {
    int64_t size = 0;
    {
        UniqueFd fd = OpenArchiveFile(c_strPath, &size);
        if (!fd.Valid() || size == 0) return nullptr;
    }
    auto source = std::make_unique<SevenZipEntries>(c_strPath, size, 1.0);
    if (!source->Open()) return nullptr;
    *pllFileSize = size;
    if (eUse == SourceUse::Extract) return source;  // packed sizes play no part there
    return ListSevenZip(std::move(source), size);
}

bool SevenZipHeaderEncrypted(const std::string& c_strPath) {
    std::unique_ptr<struct archive, ArchiveFree> a(archive_read_new());
    if (!a) return false;
    archive_read_support_format_7zip(a.get());
    struct archive_entry* entry = nullptr;
    if (archive_read_open_filename(a.get(), c_strPath.c_str(), 64 * 1024) != ARCHIVE_OK ||
        archive_read_next_header(a.get(), &entry) >= ARCHIVE_WARN) {
        return false;
    }
    const char* msg = archive_error_string(a.get());
    return msg && std::strstr(msg, "header is encrypted") != nullptr;
}

std::unique_ptr<EntrySource> ListSevenZip(std::unique_ptr<EntrySource> source, int64_t llFileSize) {
    auto listing = std::make_unique<SevenZipListing>(llFileSize);
    listing->Read(source.get());
    return listing;
}

std::unique_ptr<EntrySource> OpenEntrySource(Format eFormat, const std::string& c_strPath,
                                             int64_t* pllFileSize, SourceUse eUse) {
    ForgetLocalZone();  // the zone may have changed since the last archive
    switch (eFormat) {
        case Format::Lha:
            return OpenLhaHeaders(c_strPath, pllFileSize);
        case Format::Zip:
            return OpenZipDirectory(c_strPath, pllFileSize);
        case Format::SevenZip:
            return OpenSevenZipEntries(c_strPath, pllFileSize, eUse);
    }
    return nullptr;
}

}  // namespace kestrel::archiver
