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

// Passes data on and counts it: an entry whose data is not as long as its header says is not
// the entry that was listed.
class CountingSink : public DataSink {
public:
    explicit CountingSink(DataSink* pInner) : m_pInner(pInner) {}
    bool Write(const void* pv, size_t n) override {
        m_llCount += static_cast<int64_t>(n);
        return m_pInner->Write(pv, n);
    }
    int64_t Count() const { return m_llCount; }

private:
    DataSink* m_pInner;
    int64_t m_llCount = 0;
};

// Decodes the first entry found in the bytes [c_llBegin, c_llEnd) of the archive file, read
// as a stream of the given format (LHA or ZIP); a single zero byte is appended for LHA, which
// ends the archive there.
DataResult DecodeRange(int fd, Format eFormat, int64_t c_llBegin, int64_t c_llEnd, DataSink* pSink);

// Moves the data of the current libarchive entry into the sink.
DataResult PumpData(struct archive* pArchive, DataSink* pSink);

}  // namespace kestrel::archiver
