// One archive entry as the plug-ins report and extract it, and the sources that enumerate
// entries of one format. Names are decoded once, here, so that listing and extraction match
// the very same text.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kestrel::archiver {

enum class Format { Lha, Zip, SevenZip };

enum class EntryKind { File, Directory, Symlink, Other };

// How an entry's data is packed, where the plug-in decodes it without libarchive.
enum class Packing : uint8_t { Other, Stored, Deflate };

struct Entry {
    // UTF-8, as reported: "/" between folders (LHA, ZIP) or "\" (7-Zip); folders end in it.
    std::string strName;
    EntryKind eKind = EntryKind::File;
    int64_t llOriginalSize = 0;
    int64_t llCompressedSize = 0;
    uint32_t nCrc = 0;
    uint32_t nOsType = 0;
    uint16_t nDosDate = 0;
    uint16_t nDosTime = 0;
    int64_t llModified = 0;  // seconds since the epoch, for the extracted file
    bool bHasModified = false;
    uint32_t nUnixMode = 0;  // permission bits when the archive stores them, else 0
    bool bEncrypted = false;
    std::string strLinkTarget;  // symlinks whose target is not stored as entry data
    bool bLinkTargetInData = false;

    // Where the entry lives, for formats whose entries can be decoded one by one.
    int64_t llLocalOffset = 0;  // first byte of the entry's own header
    int64_t llLocalEnd = 0;     // one past the last byte libarchive may need
    int64_t llDataOffset = -1;  // first byte of the data, when the listing knows it
    Packing ePacking = Packing::Other;
    std::array<char, 5> achLhaMethod{};  // "-lh5-" and the like
    int64_t llOrder = 0;                 // entries sort by it in the order their source gives them
};

enum class ReadResult { Ok, End, Error };

// Entry names, looked up by string_view without a copy.
struct NameHash {
    using is_transparent = void;
    size_t operator()(std::string_view c_sv) const { return std::hash<std::string_view>{}(c_sv); }
};
// Names, each with a mark for whoever holds the set (the extraction: already taken).
using NameSet = std::unordered_map<std::string, bool, NameHash, std::equal_to<>>;

// The outcome of decoding one entry's data. Encrypted: no password, or an encryption that
// cannot be decrypted; WrongPassword: the password given does not open it.
enum class DataResult { Ok, Encrypted, WrongPassword, Damaged, Unsupported, SinkFailed };

// Receives decoded data; false stops decoding.
class DataSink {
public:
    virtual ~DataSink() = default;
    virtual bool Write(const void* pvData, size_t nSize) = 0;
    // True once the work is cancelled: decoders stop reading the archive as well.
    virtual bool Stopped() const { return false; }
};

// Asked at each read of the archive file while a source finds or passes over entries (which
// may decode much data without writing any); true stops the reading, which then fails.
class Interrupt {
public:
    virtual ~Interrupt() = default;
    virtual bool Poll() = 0;
};

// Enumerates the entries of one archive file, in archive order.
class EntrySource {
public:
    virtual ~EntrySource() = default;
    virtual ReadResult Next(Entry* pstEntry) = 0;
    // Bytes of the archive file taken in so far; never above the file size.
    virtual int64_t BytesRead() const = 0;
    // Decodes the data of the entry last returned by Next; c_pszPassword (null: none) opens an
    // encrypted entry where the format allows.
    virtual DataResult ReadData(const Entry& c_stEntry, DataSink* pSink,
                                const char* c_pszPassword) = 0;
    // Called instead of ReadData for an entry that is not wanted.
    virtual void SkipData(const Entry&) {}
    // Entries whose names are surely not in the set may be passed over without being decoded;
    // null: every entry. The set must outlive the source's use of it.
    virtual void WantOnly(const NameSet*) {}
    // True when ReadData may be called for any entry already returned, in any order and from
    // several threads at once (each entry decoded on its own), and SkipData is not needed.
    virtual bool DecodesAnyOrder() const { return false; }
    // The interrupt asked while reading; null: none. It must outlive the source's use of it.
    virtual void SetInterrupt(Interrupt*) {}
    // Every entry the source will give, when it holds them already; null otherwise.
    virtual const std::vector<Entry>* KnownEntries() const { return nullptr; }
};

// How a source will be used: listing only, or extraction (ReadData and SkipData).
enum class SourceUse { List, Extract };

// Null when the file is missing, unreadable or not of the format. On success *pllFileSize is
// the archive file's size. A source opened for listing may refuse ReadData.
std::unique_ptr<EntrySource> OpenEntrySource(Format eFormat, const std::string& c_strPath,
                                             int64_t* pllFileSize,
                                             SourceUse eUse = SourceUse::Extract);

std::unique_ptr<EntrySource> OpenZipDirectory(const std::string& c_strPath, int64_t* pllFileSize);
std::unique_ptr<EntrySource> OpenLhaHeaders(const std::string& c_strPath, int64_t* pllFileSize);
std::unique_ptr<EntrySource> OpenSevenZipEntries(const std::string& c_strPath, int64_t* pllFileSize,
                                                 SourceUse eUse);
// The listing of a 7-Zip archive from a source opened for extraction and not read yet: its
// packed sizes are each entry's share of the archive. The header is not read again.
// Whether a 7-Zip archive that does not open keeps its header encrypted.
bool SevenZipHeaderEncrypted(const std::string& c_strPath);
std::unique_ptr<EntrySource> ListSevenZip(std::unique_ptr<EntrySource> source, int64_t llFileSize);

}  // namespace kestrel::archiver
