// ZIP entries straight from the central directory: one sequential pass with a bounded
// buffer, so listing neither walks the local headers nor keeps the directory in memory.
//
//   end of central directory (22 bytes + comment), at the end of the file:
//     0 signature 50 4B 05 06 | 10 entries u16 | 12 directory size u32 | 16 directory offset u32
//     20 comment length u16
//   ZIP64 locator (20 bytes) just before it: 0 signature 50 4B 06 07 | 8 ZIP64 record offset u64
//   ZIP64 end record: 0 signature 50 4B 06 06 | 40 directory size u64 | 48 directory offset u64
//   central directory header (46 bytes + name + extra + comment):
//     0 signature 50 4B 01 02 | 4 made by u16 | 8 flags u16 | 10 method u16 | 12 time u16
//     14 date u16 | 16 crc u32 | 20 compressed u32 | 24 original u32 | 28 name length u16
//     30 extra length u16 | 32 comment length u16 | 38 external attributes u32
//     42 local header offset u32
#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "DosTime.h"
#include "EntryData.h"
#include "Text.h"

namespace kestrel::archiver {
namespace {

constexpr uint32_t kCentralSig = 0x02014b50;
constexpr uint32_t kEndSig = 0x06054b50;
constexpr uint32_t kZip64LocatorSig = 0x07064b50;
constexpr uint32_t kZip64EndSig = 0x06064b50;
constexpr size_t kBufferSize = 256 * 1024;  // holds the largest possible directory header

class ZipDirectory : public EntrySource {
public:
    ZipDirectory(UniqueFd fd, int64_t llSize, int64_t llCdStart, int64_t llCdEnd, int64_t llDelta)
        : m_fd(std::move(fd)),
          m_llSize(llSize),
          m_llCdStart(llCdStart),
          m_llCdEnd(llCdEnd),
          m_llDelta(llDelta),
          m_llPos(llCdStart),
          m_vBuffer(kBufferSize) {}

    ReadResult Next(Entry* pstEntry) override;
    int64_t BytesRead() const override;
    // Reads only the file through pread and state of its own.
    DataResult ReadData(const Entry& c_stEntry, DataSink* pSink,
                        const char* c_pszPassword) override;
    bool DecodesAnyOrder() const override { return true; }
    void WantOnly(const NameSet* pNames) override {
        m_pWanted = pNames;
        m_bWantFolders = false;
        for (const auto& [name, mark] : pNames ? *pNames : NameSet()) {
            if (!name.empty() && name.back() == '/') m_bWantFolders = true;
        }
    }

private:
    const uint8_t* Fill(int64_t llPos, size_t nSize);
    void DecodeName(const uint8_t* pName, size_t nName, uint16_t nFlags, const uint8_t* pExtra,
                    size_t nExtra, std::string* pstrOut);

    UniqueFd m_fd;
    int64_t m_llSize;
    int64_t m_llCdStart;
    int64_t m_llCdEnd;
    int64_t m_llDelta;
    int64_t m_llPos;
    std::vector<uint8_t> m_vBuffer;
    int64_t m_llBufferStart = 0;
    size_t m_nBufferLength = 0;
    Cp932Decoder m_cp932;
    const NameSet* m_pWanted = nullptr;
    bool m_bWantFolders = false;
};

const uint8_t* ZipDirectory::Fill(int64_t llPos, size_t nSize) {
    if (nSize > m_vBuffer.size()) return nullptr;
    if (llPos >= m_llBufferStart && llPos + static_cast<int64_t>(nSize) <=
                                        m_llBufferStart + static_cast<int64_t>(m_nBufferLength)) {
        return m_vBuffer.data() + (llPos - m_llBufferStart);
    }
    size_t want = static_cast<size_t>(
        std::min<int64_t>(static_cast<int64_t>(m_vBuffer.size()), m_llCdEnd - llPos));
    int64_t got = ReadUpTo(m_fd.Get(), llPos, m_vBuffer.data(), want);
    if (got < static_cast<int64_t>(nSize)) {
        m_nBufferLength = 0;
        return nullptr;
    }
    m_llBufferStart = llPos;
    m_nBufferLength = static_cast<size_t>(got);
    return m_vBuffer.data();
}

// Finds one extra field by its tag.
bool FindExtra(const uint8_t* p, size_t n, uint16_t tag, const uint8_t** ppData, size_t* pnSize) {
    size_t i = 0;
    while (i + 4 <= n) {
        uint16_t t = Le16(p + i);
        size_t len = Le16(p + i + 2);
        if (i + 4 + len > n) return false;
        if (t == tag) {
            *ppData = p + i + 4;
            *pnSize = len;
            return true;
        }
        i += 4 + len;
    }
    return false;
}

void ZipDirectory::DecodeName(const uint8_t* pName, size_t nName, uint16_t nFlags,
                              const uint8_t* pExtra, size_t nExtra, std::string* pstrOut) {
    std::string_view raw(reinterpret_cast<const char*>(pName), nName);
    if ((nFlags & 0x0800) && IsValidUtf8(raw)) {
        DecodeLegacyName(raw, &m_cp932, pstrOut);
        return;
    }
    // Info-ZIP Unicode Path: version 1, CRC-32 of the stored name, the name in UTF-8. A stale
    // field (the name was changed without it) is ignored.
    const uint8_t* up;
    size_t upSize;
    if (!(nFlags & 0x0800) && FindExtra(pExtra, nExtra, 0x7075, &up, &upSize) && upSize > 5 &&
        up[0] == 1 && Le32(up + 1) == Crc32(pName, nName)) {
        std::string_view uname(reinterpret_cast<const char*>(up + 5), upSize - 5);
        if (IsValidUtf8(uname)) {
            DecodeLegacyName(uname, &m_cp932, pstrOut);
            return;
        }
    }
    DecodeLegacyName(raw, &m_cp932, pstrOut);
}

// Whether a stored name is reported as it stands (apart from a "/" a folder gets): valid UTF-8
// without NUL, and no Unicode Path field that could replace it.
bool NameStandsAsStored(std::string_view c_svRaw, uint16_t c_nFlags, const uint8_t* pExtra,
                        size_t nExtra) {
    const uint8_t* x;
    size_t xs;
    return c_svRaw.find('\0') == std::string_view::npos && IsValidUtf8(c_svRaw) &&
           ((c_nFlags & 0x0800) || !FindExtra(pExtra, nExtra, 0x7075, &x, &xs));
}

ReadResult ZipDirectory::Next(Entry* e) {
    const uint8_t* p;
    size_t nName, nExtra, total;
    for (;;) {
        if (m_llPos + 4 > m_llCdEnd) {
            m_llPos = m_llCdEnd;
            return ReadResult::End;
        }
        p = Fill(m_llPos, 46);
        if (!p || Le32(p) != kCentralSig) return ReadResult::Error;
        nName = Le16(p + 28);
        nExtra = Le16(p + 30);
        total = 46 + nName + nExtra + Le16(p + 32);
        if (m_llPos + static_cast<int64_t>(total) > m_llCdEnd) return ReadResult::Error;
        p = Fill(m_llPos, total);
        if (!p) return ReadResult::Error;
        if (!m_pWanted) break;
        // Looking for a few names: most entries are passed over on their stored name alone.
        const std::string_view raw(reinterpret_cast<const char*>(p + 46), nName);
        if (!NameStandsAsStored(raw, Le16(p + 8), p + 46 + nName, nExtra)) break;
        if (m_pWanted->find(raw) != m_pWanted->end()) break;
        // A folder by its attributes is reported with a "/".
        if (m_bWantFolders && (raw.empty() || raw.back() != '/') &&
            m_pWanted->count(std::string(raw) + '/')) {
            break;
        }
        m_llPos += static_cast<int64_t>(total);
    }

    uint16_t madeBy = Le16(p + 4), flags = Le16(p + 8);
    uint32_t external = Le32(p + 38);
    uint64_t original = Le32(p + 24), compressed = Le32(p + 20), offset = Le32(p + 42);
    const uint8_t* name = p + 46;
    const uint8_t* extra = name + nName;

    const uint8_t* x;
    size_t xs;
    if (FindExtra(extra, nExtra, 0x0001, &x, &xs)) {
        size_t i = 0;
        auto take = [&](uint64_t* v) {
            if (*v == 0xFFFFFFFFu && i + 8 <= xs) {
                *v = Le64(x + i);
                i += 8;
            }
        };
        take(&original);
        take(&compressed);
        take(&offset);
    }

    *e = Entry();
    DecodeName(name, nName, flags, extra, nExtra, &e->strName);
    e->llOriginalSize = static_cast<int64_t>(std::min<uint64_t>(original, INT64_MAX));
    e->llCompressedSize = static_cast<int64_t>(std::min<uint64_t>(compressed, INT64_MAX));
    e->nCrc = Le32(p + 16);
    e->nOsType = madeBy >> 8;
    e->nDosTime = Le16(p + 12);
    e->nDosDate = Le16(p + 14);
    e->bEncrypted = (flags & 1) != 0;
    const uint16_t method = Le16(p + 10);
    e->ePacking = method == 0 ? Packing::Stored : method == 8 ? Packing::Deflate : Packing::Other;

    // Extended timestamps hold UTC; without them the DOS fields are local time as stored.
    if (FindExtra(extra, nExtra, 0x5455, &x, &xs) && xs >= 5 && (x[0] & 1)) {
        e->llModified = static_cast<int32_t>(Le32(x + 1));
        e->bHasModified = true;
    } else if (FindExtra(extra, nExtra, 0x000a, &x, &xs) && xs >= 32 && Le16(x + 4) == 1 &&
               Le16(x + 6) >= 24) {
        e->llModified = FileTimeToUnix(Le64(x + 8));
        e->bHasModified = true;
    }
    if (e->bHasModified) UnixToLocalDos(e->llModified, &e->nDosDate, &e->nDosTime);

    uint32_t unixMode = (madeBy >> 8) == 3 ? (external >> 16) : 0;
    bool isDir = (!e->strName.empty() && e->strName.back() == '/') ||
                 ((madeBy >> 8) != 3 && (external & 0x10)) || S_ISDIR(unixMode);
    if (isDir) {
        e->eKind = EntryKind::Directory;
        if (e->strName.empty() || e->strName.back() != '/') e->strName.push_back('/');
    } else if (unixMode != 0 && S_ISLNK(unixMode)) {
        e->eKind = EntryKind::Symlink;
        e->bLinkTargetInData = true;
    } else if (unixMode != 0 && (unixMode & S_IFMT) != 0 && !S_ISREG(unixMode)) {
        e->eKind = EntryKind::Other;
    }
    e->nUnixMode = unixMode & 07777;
    e->llLocalOffset = static_cast<int64_t>(std::min<uint64_t>(offset, INT64_MAX / 2)) + m_llDelta;
    // libarchive reads ahead past a data descriptor: let it see the rest of the file.
    e->llLocalEnd = m_llSize;

    e->llOrder = m_llPos;
    m_llPos += static_cast<int64_t>(total);
    return ReadResult::Ok;
}

int64_t ZipDirectory::BytesRead() const {
    if (m_llPos >= m_llCdEnd) return m_llSize;
    double part =
        static_cast<double>(m_llPos - m_llCdStart) / static_cast<double>(m_llCdEnd - m_llCdStart);
    return std::min<int64_t>(m_llSize, static_cast<int64_t>(part * static_cast<double>(m_llSize)));
}

DataResult ZipDirectory::ReadData(const Entry& c_stEntry, DataSink* pSink,
                                  const char* c_pszPassword) {
    if (c_stEntry.bEncrypted) {
        // libarchive decrypts both kinds of ZIP encryption, checking the password first.
        if (!c_pszPassword) return DataResult::Encrypted;
        CountingSink counter(pSink);
        DataResult r = DecodeRange(m_fd.Get(), c_stEntry.llLocalOffset, c_stEntry.llLocalEnd,
                                   &counter, c_pszPassword);
        if (r == DataResult::Ok && counter.Count() != c_stEntry.llOriginalSize) {
            return DataResult::Damaged;
        }
        return r;
    }
    if (c_stEntry.llLocalOffset < 0 || c_stEntry.llLocalOffset >= c_stEntry.llLocalEnd) {
        return DataResult::Damaged;
    }
    int64_t llEnd = c_stEntry.llLocalEnd;
    uint8_t local[30];
    if (ReadAt(m_fd.Get(), c_stEntry.llLocalOffset, local, sizeof(local)) &&
        Le32(local) == 0x04034b50) {
        const int64_t llData = c_stEntry.llLocalOffset + 30 + Le16(local + 26) + Le16(local + 28);
        const int64_t llPacked = c_stEntry.llCompressedSize;
        // A declared size near 2^63 would overflow: such an entry keeps the listed end.
        const bool bInside = llPacked >= 0 && llPacked <= llEnd - llData;
        // The directory gives the sizes and the CRC whether or not a data descriptor follows:
        // stored and small deflated entries are taken straight from the file.
        if (bInside && c_stEntry.ePacking == Packing::Stored) {
            if (llPacked != c_stEntry.llOriginalSize) return DataResult::Damaged;
            return CopyStored(m_fd.Get(), llData, llPacked, Check::Crc32, c_stEntry.nCrc, pSink);
        }
        if (bInside && c_stEntry.ePacking == Packing::Deflate && llPacked <= kWholeInflateLimit &&
            c_stEntry.llOriginalSize <= kWholeInflateLimit) {
            return InflateWhole(m_fd.Get(), llData, llPacked, c_stEntry.llOriginalSize,
                                c_stEntry.nCrc, pSink);
        }
        // Without a data descriptor the entry ends right after its data: libarchive then reads
        // that much and not a buffer's worth of the entries after it.
        if (bInside && (Le16(local + 6) & 8) == 0) llEnd = llData + llPacked;
    }
    CountingSink counter(pSink);
    DataResult r = DecodeRange(m_fd.Get(), c_stEntry.llLocalOffset, llEnd, &counter, nullptr);
    // The directory's size is the one listed; data that disagrees is not the listed entry.
    if (r == DataResult::Ok && counter.Count() != c_stEntry.llOriginalSize) {
        return DataResult::Damaged;
    }
    return r;
}

}  // namespace

std::unique_ptr<EntrySource> OpenZipDirectory(const std::string& c_strPath, int64_t* pllFileSize) {
    int64_t size = 0;
    UniqueFd fd = OpenArchiveFile(c_strPath, &size);
    if (!fd.Valid() || size < 22) return nullptr;

    size_t tailLen = static_cast<size_t>(std::min<int64_t>(size, 22 + 65535));
    int64_t tailStart = size - static_cast<int64_t>(tailLen);
    std::vector<uint8_t> tail(tailLen);
    if (!ReadAt(fd.Get(), tailStart, tail.data(), tailLen)) return nullptr;
    int64_t eocd = -1;
    for (size_t i = tailLen - 22 + 1; i-- > 0;) {
        if (Le32(&tail[i]) == kEndSig && i + 22 + Le16(&tail[i + 20]) <= tailLen) {
            eocd = tailStart + static_cast<int64_t>(i);
            break;
        }
    }
    if (eocd < 0) return nullptr;
    const uint8_t* e = &tail[static_cast<size_t>(eocd - tailStart)];
    uint64_t entries = Le16(e + 10), cdSize = Le32(e + 12), cdOffset = Le32(e + 16);
    int64_t cdEndExpected = eocd;

    uint8_t loc[20];
    if (eocd >= 20 && ReadAt(fd.Get(), eocd - 20, loc, sizeof(loc)) &&
        Le32(loc) == kZip64LocatorSig) {
        uint8_t rec[56];
        int64_t candidates[2] = {static_cast<int64_t>(std::min<uint64_t>(Le64(loc + 8), INT64_MAX)),
                                 eocd - 20 - 56};
        for (int64_t at : candidates) {
            if (at >= 0 && ReadAt(fd.Get(), at, rec, sizeof(rec)) && Le32(rec) == kZip64EndSig) {
                entries = Le64(rec + 32);
                cdSize = Le64(rec + 40);
                cdOffset = Le64(rec + 48);
                cdEndExpected = at;
                break;
            }
        }
    }
    if (cdSize > static_cast<uint64_t>(cdEndExpected)) return nullptr;

    auto hasCentralSig = [&](uint64_t at) {
        uint8_t sig[4];
        return at <= static_cast<uint64_t>(size) - 4 &&
               ReadAt(fd.Get(), static_cast<int64_t>(at), sig, 4) && Le32(sig) == kCentralSig;
    };
    int64_t cdStart;
    int64_t delta = 0;
    if (cdSize == 0) {
        if (entries != 0) return nullptr;
        cdStart = cdEndExpected;
    } else if (cdOffset + cdSize <= static_cast<uint64_t>(cdEndExpected) &&
               hasCentralSig(cdOffset)) {
        cdStart = static_cast<int64_t>(cdOffset);
    } else if (hasCentralSig(static_cast<uint64_t>(cdEndExpected) - cdSize)) {
        // Data in front of the archive (a self-extractor stub) shifts every offset alike.
        cdStart = cdEndExpected - static_cast<int64_t>(cdSize);
        delta = cdStart - static_cast<int64_t>(std::min<uint64_t>(cdOffset, INT64_MAX / 2));
    } else {
        return nullptr;
    }
    *pllFileSize = size;
    return std::make_unique<ZipDirectory>(std::move(fd), size, cdStart,
                                          cdStart + static_cast<int64_t>(cdSize), delta);
}

}  // namespace kestrel::archiver
