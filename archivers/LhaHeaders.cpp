// LHA entries from their own headers, read one by one; the data between them is never read
// for listing.
//
//   level 0: 0 header size H (total H + 2) | 1 checksum | 2 method "-lh5-" | 7 packed u32
//            11 original u32 | 15 DOS time u16 | 17 DOS date u16 | 19 attribute | 20 level
//            21 name length N | 22 name | 22+N CRC-16 | 24+N OS id (when H leaves room)
//            | Unix ("U", 12 bytes or more): 25+N version | 26+N modified u32 | 30+N mode u16
//   level 1: as level 0, but 7 is the size of the extended headers plus the data, the
//            attribute is 0x20, and the last two bytes of the header give the size of the first
//            extended header, which follows it
//   level 2: 0 total header size u16 | 2 method | 7 packed u32 | 11 original u32
//            15 modified (UTC seconds) u32 | 20 level | 21 CRC-16 | 23 OS id
//            24 size of the first extended header u16; extended headers inside the header
//   level 3: as level 2 with 0 word size (4), 24 total header size u32 and 4-byte sizes
//   extended header: type, data, size of the next one (0 ends the chain). Types used here:
//     0x01 file name, 0x02 folder name (0xFF between folders), 0x42 64-bit packed and original
//     sizes, 0x44 file name and 0x45 folder name in UTF-16LE (0xFFFF between folders; they are
//     the real name, the code-page ones may hold "_" for what the code page lacks), 0x50 Unix
//     mode, 0x54 Unix modification time
//   Unix tools store a symbolic link as a folder entry (-lhd-) named "link|target".
#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "DosTime.h"
#include "EntryData.h"
#include "Text.h"

namespace kestrel::archiver {
namespace {

constexpr size_t kMaxExtendedTotal = 1 << 20;

bool IsLhaMethod(const uint8_t* p) {
    return p[0] == '-' && p[1] == 'l' && p[4] == '-' && p[2] >= 0x20 && p[2] < 0x7F &&
           p[3] >= 0x20 && p[3] < 0x7F;
}

struct RawHeader {
    int nLevel = 0;
    std::string strMethod;
    int64_t llHeaderSize = 0;  // up to the data, extended headers of level 1 included
    int64_t llPacked = 0;
    int64_t llOriginal = 0;
    uint16_t nDosTime = 0, nDosDate = 0;
    int64_t llUnixTime = 0;
    bool bUnixTime = false;
    uint32_t nOs = 0;
    uint32_t nMode = 0;
    bool bMode = false;
    uint16_t nCrc = 0;
    std::string strName;  // raw bytes
    std::string strDir;   // raw bytes, "/" between folders
    bool bHaveNameExt = false;
    std::string strUnicodeName;  // UTF-8, from the UTF-16 headers when present
    std::string strUnicodeDir;   // UTF-8, "/" between folders and at the end
    bool bUnicodeName = false;
    bool bUnicodeDir = false;
    size_t nHeaderCrcAt = 0;  // level 2: where the header's own CRC-16 sits, 0 when it has none
};

class LhaHeaders : public EntrySource {
public:
    LhaHeaders(UniqueFd fd, int64_t llSize) : m_fd(std::move(fd)), m_llSize(llSize) {}

    ReadResult Next(Entry* pstEntry) override;
    int64_t BytesRead() const override { return std::min(m_llPos, m_llSize); }
    DataResult ReadData(const Entry& c_stEntry, DataSink* pSink, const char*) override {
        if (c_stEntry.ePacking == Packing::Stored) {
            if (c_stEntry.llCompressedSize != c_stEntry.llOriginalSize) return DataResult::Damaged;
            return CopyStored(m_fd.Get(), c_stEntry.llDataOffset, c_stEntry.llCompressedSize,
                              Check::Crc16, c_stEntry.nCrc, pSink);
        }
        CountingSink counter(pSink);
        DataResult r = DecodeLha(m_fd.Get(), c_stEntry, &counter);
        // A stored entry is copied as long as its packed size, whatever size the header claims.
        if (r == DataResult::Ok && counter.Count() != c_stEntry.llOriginalSize) {
            return DataResult::Damaged;
        }
        return r;
    }
    bool DecodesAnyOrder() const override { return true; }
    void WantOnly(const NameSet* pNames) override { m_pWanted = pNames; }

    // false when no valid header starts at c_llPos; *pbEnd when the archive ends there.
    bool ParseHeader(int64_t c_llPos, RawHeader* pstHeader, bool* pbEnd);

private:
    bool ParseExtended(const uint8_t* p, size_t n, size_t sizeWidth, size_t first, RawHeader* h,
                       size_t* pnTotal, size_t* pnCrcAt = nullptr);

    // Bytes [c_llPos, c_llPos + *pnGot) of the file, *pnGot at most c_nWant (less at its end);
    // null on a read error. Headers are read through one buffer: small entries lie many to a
    // read.
    const uint8_t* Window(int64_t c_llPos, size_t c_nWant, size_t* pnGot);

    UniqueFd m_fd;
    int64_t m_llSize;
    int64_t m_llPos = 0;
    bool m_bDone = false;
    Cp932Decoder m_cp932;
    const NameSet* m_pWanted = nullptr;
    std::string m_strRaw;
    std::vector<uint8_t> m_vWindow;
    int64_t m_llWindowStart = 0;
    size_t m_nWindowLength = 0;
};

const uint8_t* LhaHeaders::Window(int64_t c_llPos, size_t c_nWant, size_t* pnGot) {
    const int64_t llWant = std::min<int64_t>(static_cast<int64_t>(c_nWant), m_llSize - c_llPos);
    if (c_llPos < 0 || llWant < 0) return nullptr;
    if (c_llPos < m_llWindowStart ||
        c_llPos + llWant > m_llWindowStart + static_cast<int64_t>(m_nWindowLength)) {
        m_vWindow.resize(std::max<size_t>(c_nWant, 64 * 1024));
        const int64_t got = ReadUpTo(m_fd.Get(), c_llPos, m_vWindow.data(), m_vWindow.size());
        if (got < 0) {
            m_nWindowLength = 0;
            return nullptr;
        }
        m_llWindowStart = c_llPos;
        m_nWindowLength = static_cast<size_t>(got);
    }
    *pnGot = static_cast<size_t>(std::min<int64_t>(
        llWant, m_llWindowStart + static_cast<int64_t>(m_nWindowLength) - c_llPos));
    return m_vWindow.data() + (c_llPos - m_llWindowStart);
}

// Walks a chain of extended headers in p[0, n); the chain's first header has size `first`.
bool LhaHeaders::ParseExtended(const uint8_t* p, size_t n, size_t w, size_t first, RawHeader* h,
                               size_t* pnTotal, size_t* pnCrcAt) {
    size_t pos = 0, size = first;
    while (size != 0) {
        if (size < 1 + w || pos + size > n) return false;
        const uint8_t* d = p + pos + 1;
        size_t len = size - 1 - w;
        switch (p[pos]) {
            case 0x00:
                if (len == 2 && pnCrcAt) *pnCrcAt = pos + 1;
                break;
            case 0x01:
                h->strName.assign(reinterpret_cast<const char*>(d), len);
                h->bHaveNameExt = true;
                break;
            case 0x02:
                h->strDir.assign(reinterpret_cast<const char*>(d), len);
                for (auto& c : h->strDir) {
                    if (static_cast<uint8_t>(c) == 0xFF) c = '/';
                }
                if (!h->strDir.empty() && h->strDir.back() != '/') h->strDir.push_back('/');
                break;
            case 0x44:
                DecodeUtf16Le(std::string_view(reinterpret_cast<const char*>(d), len), '/',
                              &h->strUnicodeName);
                h->bUnicodeName = true;
                break;
            case 0x45:
                DecodeUtf16Le(std::string_view(reinterpret_cast<const char*>(d), len), '/',
                              &h->strUnicodeDir);
                if (!h->strUnicodeDir.empty() && h->strUnicodeDir.back() != '/') {
                    h->strUnicodeDir.push_back('/');
                }
                h->bUnicodeDir = true;
                break;
            case 0x42:
                if (len >= 16) {
                    h->llPacked = static_cast<int64_t>(std::min<uint64_t>(Le64(d), INT64_MAX));
                    h->llOriginal =
                        static_cast<int64_t>(std::min<uint64_t>(Le64(d + 8), INT64_MAX));
                }
                break;
            case 0x50:
                if (len >= 2) {
                    h->nMode = Le16(d);
                    h->bMode = true;
                }
                break;
            case 0x54:
                if (len >= 4) {
                    h->llUnixTime = Le32(d);
                    h->bUnixTime = true;
                }
                break;
            default:
                break;
        }
        pos += size;
        size = w == 2 ? Le16(p + pos - 2) : Le32(p + pos - 4);
    }
    *pnTotal = pos;
    return true;
}

bool LhaHeaders::ParseHeader(int64_t c_llPos, RawHeader* h, bool* pbEnd) {
    *pbEnd = false;
    size_t nGot = 0;
    const uint8_t* b = Window(c_llPos, 256 + 32, &nGot);
    const int64_t got = b ? static_cast<int64_t>(nGot) : -1;
    if (got <= 0 || (got >= 1 && b[0] == 0 && (got < 22 || b[20] != 2 || !IsLhaMethod(b + 2)))) {
        // A zero byte (or the end of the file) closes the archive.
        *pbEnd = true;
        return false;
    }
    if (got < 22 || !IsLhaMethod(b + 2)) return false;
    h->nLevel = b[20];
    h->strMethod.assign(reinterpret_cast<const char*>(b + 2), 5);
    h->llOriginal = Le32(b + 11);

    if (h->nLevel == 0 || h->nLevel == 1) {
        size_t total = static_cast<size_t>(b[0]) + 2;
        size_t nName = b[21];
        if (total > static_cast<size_t>(got) || 22 + nName + 2 > total) return false;
        unsigned sum = 0;
        for (size_t i = 2; i < total; ++i) sum += b[i];
        if ((sum & 0xFF) != b[1]) return false;
        h->nDosTime = Le16(b + 15);
        h->nDosDate = Le16(b + 17);
        h->strName.assign(reinterpret_cast<const char*>(b + 22), nName);
        h->nCrc = Le16(b + 22 + nName);
        if (22 + nName + 2 < total) h->nOs = b[24 + nName];
        if (h->nLevel == 0 && h->nOs == 'U' && total >= 22 + nName + 2 + 12) {
            const uint8_t* x = b + 24 + nName;
            h->llUnixTime = Le32(x + 2);
            h->bUnixTime = true;
            h->nMode = Le16(x + 6);
            h->bMode = true;
        }
        if (h->nLevel == 0) {
            h->llHeaderSize = static_cast<int64_t>(total);
            h->llPacked = Le32(b + 7);
            return true;
        }
        if (total < 22 + nName + 5) return false;
        size_t first = Le16(b + total - 2);
        int64_t skip = Le32(b + 7);
        size_t extTotal = 0;
        if (first != 0) {
            size_t avail = static_cast<size_t>(std::min<int64_t>(
                std::min<int64_t>(skip, kMaxExtendedTotal), m_llSize - c_llPos - total));
            size_t extGot = 0;
            const uint8_t* ext = Window(c_llPos + static_cast<int64_t>(total), avail, &extGot);
            if (!ext || extGot != avail || !ParseExtended(ext, avail, 2, first, h, &extTotal)) {
                return false;
            }
        }
        if (static_cast<int64_t>(extTotal) > skip) return false;
        h->llHeaderSize = static_cast<int64_t>(total + extTotal);
        h->llPacked = skip - static_cast<int64_t>(extTotal);
        return true;
    }
    if (h->nLevel == 2 || h->nLevel == 3) {
        size_t w = h->nLevel == 2 ? 2 : 4;
        size_t fixed = h->nLevel == 2 ? 26 : 32;
        if (static_cast<size_t>(got) < fixed) return false;
        size_t total = h->nLevel == 2 ? Le16(b) : Le32(b + 24);
        if (h->nLevel == 3 && Le16(b) != 4) return false;
        if (total < fixed || total > kMaxExtendedTotal ||
            static_cast<int64_t>(total) > m_llSize - c_llPos) {
            return false;
        }
        h->llPacked = Le32(b + 7);
        h->llUnixTime = Le32(b + 15);
        h->bUnixTime = true;
        h->nCrc = Le16(b + 21);
        h->nOs = b[23];
        size_t first = w == 2 ? Le16(b + 24) : Le32(b + 28);
        size_t allGot = 0;
        const uint8_t* all = Window(c_llPos, total, &allGot);
        if (!all || allGot != total) return false;
        size_t extTotal = 0;
        size_t crcAt = 0;
        if (first != 0 &&
            !ParseExtended(all + fixed, total - fixed, w, first, h, &extTotal, &crcAt)) {
            return false;
        }
        if (crcAt != 0 && h->nLevel == 2) h->nHeaderCrcAt = fixed + crcAt;
        h->llHeaderSize = static_cast<int64_t>(total);
        return true;
    }
    return false;
}

// Whether a stored name is reported as it stands (apart from a "/" a folder gets).
// How many leading bytes of a stored name are reported unchanged: ASCII up to the first "\\"
// (a separator) or "|" (a link's target follows). All of it (c_svRaw.size()) when the name is
// reported as it stands, apart from the "/" a folder gets.
size_t StoredPrefix(std::string_view c_svRaw, bool* pbWhole) {
    size_t i = 0;
    while (i < c_svRaw.size()) {
        const auto c = static_cast<unsigned char>(c_svRaw[i]);
        if (c == 0 || c == '\\' || c == '|' || c >= 0x80) break;
        ++i;
    }
    *pbWhole = i == c_svRaw.size() ||
               (std::none_of(c_svRaw.begin() + static_cast<std::ptrdiff_t>(i), c_svRaw.end(),
                             [](char c) { return c == 0 || c == '\\' || c == '|'; }) &&
                IsValidUtf8(c_svRaw.substr(i)));
    return i;
}

// Whether a stored name may be reported as one of the names.
bool MayBeWanted(std::string_view c_svRaw, const NameSet& c_names) {
    bool whole = false;
    const size_t prefix = StoredPrefix(c_svRaw, &whole);
    if (whole) {
        if (c_names.find(c_svRaw) != c_names.end()) return true;
        std::string folder(c_svRaw);
        folder.push_back('/');
        return c_names.count(folder) != 0;
    }
    // Decoded from CP932: only its ASCII start is known without decoding it. Against many
    // names, decoding costs less than comparing.
    if (c_names.size() > 16) return true;
    const std::string_view start = c_svRaw.substr(0, prefix);
    for (const auto& [name, mark] : c_names) {
        if (name.compare(0, start.size(), start) == 0) return true;
    }
    return false;
}

// A level 2 header's CRC-16, computed with its own field as zeros.
bool HeaderCrcHolds(const uint8_t* p, size_t c_nSize, size_t c_nAt) {
    static const uint8_t s_zeros[2] = {};
    uint16_t crc = LhaCrc16(0, p, c_nAt);
    crc = LhaCrc16(crc, s_zeros, 2);
    crc = LhaCrc16(crc, p + c_nAt + 2, c_nSize - c_nAt - 2);
    return crc == Le16(p + c_nAt);
}

ReadResult LhaHeaders::Next(Entry* e) {
    RawHeader h;
    int64_t dataEnd;
    for (;;) {
        if (m_bDone) return ReadResult::End;
        h = RawHeader();
        bool end = false;
        if (!ParseHeader(m_llPos, &h, &end)) {
            m_bDone = true;
            if (end) {
                m_llPos = m_llSize;
                return ReadResult::End;
            }
            return ReadResult::Error;
        }
        // The sizes come from the file: compare before adding, so that no sum can overflow.
        if (h.llPacked < 0 || h.llHeaderSize > m_llSize - m_llPos ||
            h.llPacked > m_llSize - m_llPos - h.llHeaderSize) {
            m_bDone = true;
            return ReadResult::Error;
        }
        dataEnd = m_llPos + h.llHeaderSize + h.llPacked;
        if (!m_pWanted) break;
        // Looking for a few names: most entries are passed over on their stored name alone.
        // Names from the UTF-16 headers are known only once decoded.
        if (h.bUnicodeName || h.bUnicodeDir) break;
        m_strRaw.assign(h.strDir).append(h.strName);
        if (MayBeWanted(m_strRaw, *m_pWanted)) break;
        m_llPos = dataEnd;
    }
    *e = Entry();
    // The folder and the file part, each from its UTF-16 header when there is one.
    std::string dir, leaf;
    if (h.bUnicodeDir || h.bUnicodeName) {
        if (h.bUnicodeDir) {
            dir = h.strUnicodeDir;
        } else {
            DecodeLegacyName(h.strDir, &m_cp932, &dir);
        }
        if (h.bUnicodeName) {
            leaf = h.strUnicodeName;
        } else {
            DecodeLegacyName(h.strName, &m_cp932, &leaf);
        }
    } else {
        // Decoded as one text: a folder part and a file part in different encodings are not
        // told apart.
        std::string whole;
        DecodeLegacyName(h.strDir + h.strName, &m_cp932, &whole);
        // The folder part keeps its bytes when the name decodes as it stands; otherwise a
        // link's "|" is looked for in the whole name.
        const size_t nDir =
            h.strDir.size() <= whole.size() && whole.compare(0, h.strDir.size(), h.strDir) == 0
                ? h.strDir.size()
                : 0;
        dir = whole.substr(0, nDir);
        leaf = whole.substr(nDir);
    }
    // Separators: "\" in names from MS-DOS (decoded first, so a CP932 second byte 0x5C stays
    // part of its character).
    std::replace(dir.begin(), dir.end(), '\\', '/');
    std::replace(leaf.begin(), leaf.end(), '\\', '/');

    bool isDir = h.strMethod == "-lhd-";
    // A folder entry may keep its whole path in the folder part.
    if (leaf.empty() && !dir.empty()) {
        dir.pop_back();
        const size_t slash = dir.rfind('/');
        leaf = dir.substr(slash == std::string::npos ? 0 : slash + 1);
        dir.erase(slash == std::string::npos ? 0 : slash + 1);
    }
    const size_t bar = leaf.find('|');
    std::string name;
    if ((h.bMode && S_ISLNK(h.nMode)) || (isDir && bar != std::string::npos)) {
        e->eKind = EntryKind::Symlink;
        if (bar != std::string::npos) {
            e->strLinkTarget = leaf.substr(bar + 1);
            leaf.erase(bar);
        }
        name = dir + leaf;
        while (!name.empty() && name.back() == '/') name.pop_back();
    } else if (isDir || (h.bMode && S_ISDIR(h.nMode))) {
        name = dir + leaf;
        e->eKind = EntryKind::Directory;
        if (name.empty() || name.back() != '/') name.push_back('/');
    } else {
        name = dir + leaf;
        if (h.bMode && (h.nMode & S_IFMT) != 0 && !S_ISREG(h.nMode)) e->eKind = EntryKind::Other;
    }
    e->strName = std::move(name);
    e->llOriginalSize = h.llOriginal;
    e->llCompressedSize = h.llPacked;
    e->nCrc = h.nCrc;
    e->nOsType = h.nOs;
    e->nUnixMode = h.bMode ? (h.nMode & 07777) : 0;
    if (h.nLevel <= 1) {
        // Local DOS time, reported as stored.
        e->nDosDate = h.nDosDate;
        e->nDosTime = h.nDosTime;
        if (h.bUnixTime) {
            e->llModified = h.llUnixTime;
            e->bHasModified = true;
        }
    } else {
        e->llModified = h.llUnixTime;
        e->bHasModified = true;
        UnixToLocalDos(h.llUnixTime, &e->nDosDate, &e->nDosTime);
    }
    e->llLocalOffset = m_llPos;
    e->llLocalEnd = dataEnd;
    e->llDataOffset = m_llPos + h.llHeaderSize;
    std::copy(h.strMethod.begin(), h.strMethod.end(), e->achLhaMethod.begin());
    e->llOrder = m_llPos;
    // Stored data is copied straight from the file when the header is known sound: level 0
    // and 1 headers carry a checksum, checked when parsed; level 2 ones a CRC. Other headers
    // go through libarchive, which reports them.
    size_t nGot = 0;
    const uint8_t* header = nullptr;
    if (h.nLevel == 2 && h.nHeaderCrcAt != 0) {
        header = Window(m_llPos, static_cast<size_t>(h.llHeaderSize), &nGot);
    }
    const bool bSound = h.nLevel <= 1 || (header && nGot == static_cast<size_t>(h.llHeaderSize) &&
                                          HeaderCrcHolds(header, nGot, h.nHeaderCrcAt));
    if ((h.strMethod == "-lh0-" || h.strMethod == "-lz4-") && e->eKind == EntryKind::File &&
        bSound) {
        e->ePacking = Packing::Stored;
    }
    m_llPos = dataEnd;
    return ReadResult::Ok;
}

}  // namespace

std::unique_ptr<EntrySource> OpenLhaHeaders(const std::string& c_strPath, int64_t* pllFileSize) {
    int64_t size = 0;
    UniqueFd fd = OpenArchiveFile(c_strPath, &size);
    if (!fd.Valid() || size < 22) return nullptr;
    auto source = std::make_unique<LhaHeaders>(std::move(fd), size);
    // The file is an LHA archive when it begins with a sound header.
    RawHeader h;
    bool end = false;
    if (!source->ParseHeader(0, &h, &end)) return nullptr;
    *pllFileSize = size;
    return source;
}

}  // namespace kestrel::archiver
