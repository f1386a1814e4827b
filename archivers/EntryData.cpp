#include "EntryData.h"

#include <archive_entry.h>
#include <fcntl.h>
#include <libdeflate.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "Text.h"

namespace kestrel::archiver {

UniqueFd OpenArchiveFile(const std::string& c_strPath, int64_t* pllSize) {
    // Without O_NONBLOCK, opening a FIFO would wait for a writer that may never come.
    UniqueFd fd(open(c_strPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.Valid()) return fd;
    struct stat st {};
    if (fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return UniqueFd();
    fcntl(fd.Get(), F_SETFL, fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK);
    *pllSize = st.st_size;
    return fd;
}

int64_t ReadUpTo(int fd, int64_t c_llOffset, void* pvBuffer, size_t c_nSize) {
    size_t done = 0;
    auto* p = static_cast<char*>(pvBuffer);
    while (done < c_nSize) {
        ssize_t r = pread(fd, p + done, c_nSize - done, c_llOffset + static_cast<int64_t>(done));
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0) break;
        done += static_cast<size_t>(r);
    }
    return static_cast<int64_t>(done);
}

bool ReadAt(int fd, int64_t c_llOffset, void* pvBuffer, size_t c_nSize) {
    return c_llOffset >= 0 &&
           ReadUpTo(fd, c_llOffset, pvBuffer, c_nSize) == static_cast<int64_t>(c_nSize);
}

uint32_t Crc32(const void* pvData, size_t nSize) {
    return libdeflate_crc32(0, pvData, nSize);
}

namespace {

struct RangeClient {
    int fd;
    int64_t llPos;
    int64_t llEnd;
    bool bZeroTail;
    const DataSink* pSink;
    std::string strHead;  // given out before the range
    std::vector<char> vBuffer = std::vector<char>(64 * 1024);
};

la_ssize_t ReadRange(struct archive* a, void* pvClient, const void** ppvBuffer) {
    auto* c = static_cast<RangeClient*>(pvClient);
    *ppvBuffer = c->vBuffer.data();
    // Much data may be decoded before any is written (a highly packed entry).
    if (c->pSink->Stopped()) {
        archive_set_error(a, ECANCELED, "cancelled");
        return -1;
    }
    if (!c->strHead.empty()) {
        const size_t n = std::min(c->strHead.size(), c->vBuffer.size());
        std::memcpy(c->vBuffer.data(), c->strHead.data(), n);
        c->strHead.erase(0, n);
        return static_cast<la_ssize_t>(n);
    }
    if (c->llPos >= c->llEnd) {
        if (c->bZeroTail) {
            c->bZeroTail = false;
            c->vBuffer[0] = 0;
            return 1;
        }
        return 0;
    }
    size_t want = static_cast<size_t>(
        std::min<int64_t>(c->llEnd - c->llPos, static_cast<int64_t>(c->vBuffer.size())));
    int64_t got = ReadUpTo(c->fd, c->llPos, c->vBuffer.data(), want);
    if (got < 0) {
        archive_set_error(a, errno, "read error");
        return -1;
    }
    if (got == 0) c->llEnd = c->llPos;  // the file is shorter than it claimed
    c->llPos += got;
    if (got == 0) return ReadRange(a, pvClient, ppvBuffer);
    return static_cast<la_ssize_t>(got);
}

struct ArchiveFree {
    void operator()(struct archive* a) const { archive_read_free(a); }
};

DataResult ClassifyFailure(struct archive* a) {
    const char* msg = archive_error_string(a);
    std::string s = msg ? msg : "";
    for (auto& ch : s) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
    if (s.find("incorrect passphrase") != std::string::npos) return DataResult::WrongPassword;
    if (s.find("encrypt") != std::string::npos || s.find("passphrase") != std::string::npos) {
        return DataResult::Encrypted;
    }
    if (s.find("unsupported") != std::string::npos ||
        s.find("not supported") != std::string::npos) {
        return DataResult::Unsupported;
    }
    return DataResult::Damaged;
}

}  // namespace

DataResult PumpData(struct archive* a, DataSink* pSink) {
    // Blocks straight from libarchive's buffers, not copied out first. Offsets may skip ahead
    // (a sparse entry): the gap is written as zeros, since the sink only appends.
    int64_t llWritten = 0;
    for (;;) {
        const void* pvBlock = nullptr;
        size_t nSize = 0;
        la_int64_t llOffset = 0;
        const int r = archive_read_data_block(a, &pvBlock, &nSize, &llOffset);
        if (r == ARCHIVE_EOF) return DataResult::Ok;
        // As archive_read_data: a warning (a CRC mismatch among them) fails the entry.
        if (r != ARCHIVE_OK) return ClassifyFailure(a);
        if (llOffset < llWritten) return DataResult::Damaged;
        static const char s_zeros[4096] = {};
        while (llWritten < llOffset) {
            const size_t n = static_cast<size_t>(
                std::min<int64_t>(llOffset - llWritten, static_cast<int64_t>(sizeof(s_zeros))));
            if (!pSink->Write(s_zeros, n)) return DataResult::SinkFailed;
            llWritten += static_cast<int64_t>(n);
        }
        if (nSize > 0 && !pSink->Write(pvBlock, nSize)) return DataResult::SinkFailed;
        llWritten += static_cast<int64_t>(nSize);
    }
}

namespace {

// CRC-16 of LHA (polynomial 0xA001, initial value 0).
uint16_t Crc16(uint16_t crc, const uint8_t* p, size_t n) {
    static const auto s_table = [] {
        std::array<uint16_t, 256> t{};
        for (unsigned i = 0; i < 256; ++i) {
            unsigned c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xA001u : c >> 1;
            t[i] = static_cast<uint16_t>(c);
        }
        return t;
    }();
    for (size_t i = 0; i < n; ++i)
        crc = static_cast<uint16_t>(s_table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8));
    return crc;
}

// Hands data to the sink a piece at a time, as libarchive does: the place to tell progress.
constexpr size_t kPiece = 64 * 1024;

bool WritePieces(const uint8_t* p, size_t n, DataSink* pSink) {
    while (n > 0) {
        const size_t k = std::min(n, kPiece);
        if (!pSink->Write(p, k)) return false;
        p += k;
        n -= k;
    }
    return true;
}

struct DecompressorFree {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

}  // namespace

uint16_t LhaCrc16(uint16_t c_nCrc, const void* pvData, size_t nSize) {
    return Crc16(c_nCrc, static_cast<const uint8_t*>(pvData), nSize);
}

DataResult CopyStored(int fd, int64_t c_llOffset, int64_t c_llSize, Check eCheck,
                      uint32_t c_nExpected, DataSink* pSink) {
    if (c_llOffset < 0 || c_llSize < 0) return DataResult::Damaged;
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(c_llSize, kPiece)));
    uint32_t crc32 = 0;
    uint16_t crc16 = 0;
    for (int64_t done = 0; done < c_llSize;) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(c_llSize - done, kPiece));
        if (!ReadAt(fd, c_llOffset + done, buffer.data(), n)) return DataResult::Damaged;
        if (eCheck == Check::Crc32) {
            crc32 = libdeflate_crc32(crc32, buffer.data(), n);
        } else {
            crc16 = Crc16(crc16, buffer.data(), n);
        }
        if (!pSink->Write(buffer.data(), n)) return DataResult::SinkFailed;
        done += static_cast<int64_t>(n);
    }
    const uint32_t got = eCheck == Check::Crc32 ? crc32 : crc16;
    return got == c_nExpected ? DataResult::Ok : DataResult::Damaged;
}

DataResult InflateWhole(int fd, int64_t c_llOffset, int64_t c_llPacked, int64_t c_llOriginal,
                        uint32_t c_nCrc, DataSink* pSink) {
    if (c_llOffset < 0 || c_llPacked < 0 || c_llOriginal < 0 || c_llPacked > kWholeInflateLimit ||
        c_llOriginal > kWholeInflateLimit) {
        return DataResult::Damaged;
    }
    // One per thread: entries are inflated on several at once.
    thread_local std::unique_ptr<libdeflate_decompressor, DecompressorFree> t_decompressor(
        libdeflate_alloc_decompressor());
    if (!t_decompressor) return DataResult::Damaged;
    std::vector<uint8_t> packed(static_cast<size_t>(c_llPacked));
    if (!ReadAt(fd, c_llOffset, packed.data(), packed.size())) return DataResult::Damaged;
    // One byte more than expected: data that goes on past the declared size is damaged.
    std::vector<uint8_t> out(static_cast<size_t>(c_llOriginal) + 1);
    size_t produced = 0;
    if (libdeflate_deflate_decompress(t_decompressor.get(), packed.data(), packed.size(),
                                      out.data(), out.size(), &produced) != LIBDEFLATE_SUCCESS ||
        produced != static_cast<size_t>(c_llOriginal) ||
        libdeflate_crc32(0, out.data(), produced) != c_nCrc) {
        return DataResult::Damaged;
    }
    return WritePieces(out.data(), produced, pSink) ? DataResult::Ok : DataResult::SinkFailed;
}

namespace {

DataResult Decode(int fd, Format eFormat, const std::string& c_strHead, int64_t c_llBegin,
                  int64_t c_llEnd, DataSink* pSink, const char* c_pszPassword) {
    Utf8LocaleScope locale;
    // Names are not taken from libarchive, but its ZIP reader fails on one it cannot convert:
    // try the charsets a name can be in until the header reads.
    static const char* const s_zipCharsets[] = {nullptr, "hdrcharset=CP932"};
    const char* const* charsets = s_zipCharsets;
    size_t count = eFormat == Format::Lha ? 1 : 2;
    DataResult failure = DataResult::Damaged;
    for (size_t i = 0; i < count; ++i) {
        std::unique_ptr<struct archive, ArchiveFree> a(archive_read_new());
        if (!a) return DataResult::Damaged;
        if (eFormat == Format::Zip) {
            archive_read_support_format_zip_streamable(a.get());
        } else {
            archive_read_support_format_lha(a.get());
        }
        if (charsets[i]) archive_read_set_options(a.get(), charsets[i]);
        if (c_pszPassword) archive_read_add_passphrase(a.get(), c_pszPassword);
        RangeClient client{fd, c_llBegin, c_llEnd, eFormat == Format::Lha, pSink, c_strHead};
        if (archive_read_open(a.get(), &client, nullptr, ReadRange, nullptr) != ARCHIVE_OK) {
            return DataResult::Damaged;
        }
        struct archive_entry* entry = nullptr;
        int r = archive_read_next_header(a.get(), &entry);
        if (r < ARCHIVE_WARN) {
            failure = ClassifyFailure(a.get());
            continue;
        }
        if (archive_entry_is_data_encrypted(entry) && !c_pszPassword) return DataResult::Encrypted;
        return PumpData(a.get(), pSink);
    }
    return failure;
}

}  // namespace

DataResult DecodeRange(int fd, int64_t c_llBegin, int64_t c_llEnd, DataSink* pSink,
                       const char* c_pszPassword) {
    return Decode(fd, Format::Zip, std::string(), c_llBegin, c_llEnd, pSink, c_pszPassword);
}

DataResult DecodeLha(int fd, const Entry& c_stEntry, DataSink* pSink) {
    // libarchive refuses some sound headers (UTF-16 folder names without a final separator,
    // names it cannot convert): it is shown a level-2 header of our own instead, with the
    // entry's method, sizes and CRC, and the entry's data after it.
    if (c_stEntry.llDataOffset < 0 || c_stEntry.llCompressedSize < 0) return DataResult::Damaged;
    std::string head;
    auto put = [&](uint64_t v, int n) {
        for (int i = 0; i < n; ++i) head.push_back(static_cast<char>(v >> (8 * i)));
    };
    const auto packed = static_cast<uint64_t>(c_stEntry.llCompressedSize);
    const auto original = static_cast<uint64_t>(c_stEntry.llOriginalSize);
    const bool wide = packed > 0xFFFFFFFF || original > 0xFFFFFFFF;
    // Fixed part, then extended headers: the header's CRC, a name, 64-bit sizes when needed.
    put(26 + 5 + 4 + (wide ? 19 : 0), 2);
    head.append(c_stEntry.achLhaMethod.data(), c_stEntry.achLhaMethod.size());
    put(packed & 0xFFFFFFFF, 4);
    put(original & 0xFFFFFFFF, 4);
    put(0, 4);  // time
    put(0x20, 1);
    put(2, 1);  // level
    put(c_stEntry.nCrc, 2);
    put('U', 1);
    put(5, 2);
    const size_t crcAt = head.size() + 1;
    put(0x00, 1);
    put(0, 2);
    put(4, 2);
    put(0x01, 1);
    put('x', 1);
    put(wide ? 19 : 0, 2);
    if (wide) {
        put(0x42, 1);
        put(packed, 8);
        put(original, 8);
        put(0, 2);
    }
    const uint16_t crc = LhaCrc16(0, head.data(), head.size());
    head[crcAt] = static_cast<char>(crc);
    head[crcAt + 1] = static_cast<char>(crc >> 8);
    const int64_t end = c_stEntry.llDataOffset + c_stEntry.llCompressedSize;
    if (end < c_stEntry.llDataOffset) return DataResult::Damaged;
    return Decode(fd, Format::Lha, head, c_stEntry.llDataOffset, end, pSink, nullptr);
}

}  // namespace kestrel::archiver
