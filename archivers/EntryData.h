// File access shared by the entry sources, and the decoding of entry data through libarchive.
#pragma once

#include <archive.h>

#include <cstdint>
#include <string>

#include "Entry.h"
#include "UniqueFd.h"

namespace kestrel::archiver {

// Opens a regular file for reading; *pllSize receives its size. Invalid on failure.
UniqueFd OpenArchiveFile(const std::string& c_strPath, int64_t* pllSize);

// Reads exactly c_nSize bytes at c_llOffset.
bool ReadAt(int fd, int64_t c_llOffset, void* pvBuffer, size_t c_nSize);
// Reads up to c_nSize bytes at c_llOffset; the count read, or -1.
int64_t ReadUpTo(int fd, int64_t c_llOffset, void* pvBuffer, size_t c_nSize);

inline uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t Le64(const uint8_t* p) {
    return static_cast<uint64_t>(Le32(p)) | (static_cast<uint64_t>(Le32(p + 4)) << 32);
}

uint32_t Crc32(const void* pvData, size_t nSize);
uint16_t LhaCrc16(uint16_t c_nCrc, const void* pvData, size_t nSize);

// Passes data on and counts it: an entry whose data is not as long as its header says is not
// the entry that was listed.
class CountingSink : public DataSink {
public:
    explicit CountingSink(DataSink* pInner) : m_pInner(pInner) {}
    bool Write(const void* pv, size_t n) override {
        m_llCount += static_cast<int64_t>(n);
        return m_pInner->Write(pv, n);
    }
    bool Stopped() const override { return m_pInner->Stopped(); }
    int64_t Count() const { return m_llCount; }

private:
    DataSink* m_pInner;
    int64_t m_llCount = 0;
};

// Decodes the first ZIP entry found in the bytes [c_llBegin, c_llEnd) of the archive file,
// read as a stream. With c_pszPassword (null: none) an encrypted entry is decrypted.
DataResult DecodeRange(int fd, int64_t c_llBegin, int64_t c_llEnd, DataSink* pSink,
                       const char* c_pszPassword);

// Decodes an LHA entry's packed data (its llDataOffset, sizes, CRC and method).
DataResult DecodeLha(int fd, const Entry& c_stEntry, DataSink* pSink);

// Moves the data of the current libarchive entry into the sink.
DataResult PumpData(struct archive* pArchive, DataSink* pSink);

// The checksum an entry's data must match.
enum class Check { Crc32, Crc16 };

// Copies stored data [c_llOffset, +c_llSize) of the archive file into the sink.
DataResult CopyStored(int fd, int64_t c_llOffset, int64_t c_llSize, Check eCheck,
                      uint32_t c_nExpected, DataSink* pSink);

// Entries up to this size (packed and unpacked) are inflated whole, from memory.
constexpr int64_t kWholeInflateLimit = 4 << 20;

// Inflates raw deflate data [c_llOffset, +c_llPacked) of the archive file, which must give
// exactly c_llOriginal bytes with the CRC-32 c_nCrc. Both sizes at most kWholeInflateLimit.
DataResult InflateWhole(int fd, int64_t c_llOffset, int64_t c_llPacked, int64_t c_llOriginal,
                        uint32_t c_nCrc, DataSink* pSink);

}  // namespace kestrel::archiver
