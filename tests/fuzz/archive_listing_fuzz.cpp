// Arbitrary bytes as an archive: open, list to the end with every query, list again.
#include <cstring>

#include "FuzzTargets.h"
#include "Text.h"

namespace kestrel_fuzz {

namespace {

constexpr size_t kMaxEntries = 100000;

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint32_t Clamp32(int64_t v) {
    return v < 0 ? 0 : v > 0xFFFFFFFFLL ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
}

// Checks the record of the entry just found and its queries; the entry's full name.
std::string CheckEntry(const Plugin& p, void* h, const uint8_t* rec, int64_t llFileSize,
                       int64_t* pllLastRead) {
    const char* name = reinterpret_cast<const char*>(rec + KESTREL_INFO_FILENAME);
    size_t len = strnlen(name, KESTREL_INFO_FILENAME_SIZE);
    FUZZ_CHECK(len < KESTREL_INFO_FILENAME_SIZE, "the record's name is not terminated");
    for (size_t i = KESTREL_INFO_FILENAME + len; i < KESTREL_INDIVIDUALINFO_SIZE; ++i) {
        FUZZ_CHECK(rec[i] == 0, "a record byte after the name is not zero");
    }
    std::string recordName(name, len);
    FUZZ_CHECK(kestrel::archiver::IsValidUtf8(recordName), "a name is not UTF-8");

    int need = p.GetFileName(h, nullptr, 0);
    FUZZ_CHECK(need >= 1, "GetFileName gives no size for the entry found");
    std::vector<char> buf(static_cast<size_t>(need));  // exactly: ASan sees any overrun
    FUZZ_CHECK(p.GetFileName(h, buf.data(), static_cast<uint32_t>(need)) == 0,
               "GetFileName refuses the size it asked for");
    FUZZ_CHECK(buf[need - 1] == '\0' && std::strlen(buf.data()) == static_cast<size_t>(need - 1),
               "GetFileName's name holds a NUL or is not terminated");
    std::string full(buf.data());
    FUZZ_CHECK(kestrel::archiver::IsValidUtf8(full), "a full name is not UTF-8");
    FUZZ_CHECK(full.compare(0, recordName.size(), recordName) == 0,
               "the record's name is not the start of the full name");
    if (full.size() < KESTREL_INFO_FILENAME_SIZE) {
        FUZZ_CHECK(full == recordName, "the record cut a name that fits");
    }
    if (need > 1) {
        std::vector<char> small(static_cast<size_t>(need - 1), 'Z');
        FUZZ_CHECK(p.GetFileName(h, small.data(), static_cast<uint32_t>(need - 1)) == need,
                   "GetFileName with too small a buffer does not ask for the size");
    }

    int64_t original = -1, compressed = -1;
    FUZZ_CHECK(p.GetOriginalSizeEx(h, &original) != 0 && original >= 0, "GetOriginalSizeEx");
    FUZZ_CHECK(p.GetCompressedSizeEx(h, &compressed) != 0 && compressed >= 0,
               "GetCompressedSizeEx");
    FUZZ_CHECK(Le32(rec + KESTREL_INFO_ORIGINAL_SIZE) == Clamp32(original),
               "the record's original size disagrees with GetOriginalSizeEx");
    FUZZ_CHECK(Le32(rec + KESTREL_INFO_COMPRESSED_SIZE) == Clamp32(compressed),
               "the record's compressed size disagrees with GetCompressedSizeEx");

    int64_t read = -1;
    FUZZ_CHECK(p.GetArcReadSizeEx(h, &read) != 0, "GetArcReadSizeEx");
    FUZZ_CHECK(read >= 0 && read <= llFileSize, "read size outside 0..file size");
    FUZZ_CHECK(read >= *pllLastRead, "read size went backwards");
    FUZZ_CHECK(p.GetArcReadSize(h) == Clamp32(read), "GetArcReadSize disagrees with its Ex");
    *pllLastRead = read;
    return full;
}

}  // namespace

int ArchiveListing(Format eFormat, const uint8_t* pData, size_t nSize) {
    const Plugin& p = PluginFor(eFormat);
    Scratch& s = Scratch::Get();
    std::string path = s / (std::string("archive") + p.pszExtension);
    WriteBytes(path, pData, nSize);

    void* h = p.OpenArchive(nullptr, path.c_str(), KESTREL_OPEN_MODE);
    if (!h) return 0;
    int64_t fileSize = -1;
    FUZZ_CHECK(p.GetArcFileSizeEx(h, &fileSize) != 0 && fileSize == static_cast<int64_t>(nSize),
               "GetArcFileSizeEx is not the file's size");
    FUZZ_CHECK(p.GetArcFileSize(h) == Clamp32(fileSize), "GetArcFileSize");
    int64_t dummy = 0;
    FUZZ_CHECK(p.GetOriginalSizeEx(h, &dummy) == 0, "an entry's size before any entry");

    // The record is allocated to its exact size, so that ASan catches a write past it.
    std::vector<uint8_t> rec(KESTREL_INDIVIDUALINFO_SIZE, 0xAB);
    std::vector<std::string> names;
    int64_t lastRead = 0;
    for (int r = p.FindFirst(h, "*", rec.data()); r == 0; r = p.FindNext(h, rec.data())) {
        names.push_back(CheckEntry(p, h, rec.data(), fileSize, &lastRead));
        FUZZ_CHECK(names.size() <= kMaxEntries, "more entries than the bytes can hold");
        std::memset(rec.data(), 0xAB, rec.size());
    }
    // The end stays the end, and the progress has reached the file's size.
    FUZZ_CHECK(p.FindNext(h, rec.data()) != 0, "FindNext found more after the end");
    int64_t read = -1;
    FUZZ_CHECK(p.GetArcReadSizeEx(h, &read) != 0 && read == fileSize,
               "the read size is not the file size at the end");
    int64_t totalOriginal = -1, totalCompressed = -1;
    FUZZ_CHECK(p.GetArcOriginalSizeEx(h, &totalOriginal) != 0 && totalOriginal >= 0,
               "GetArcOriginalSizeEx");
    FUZZ_CHECK(p.GetArcCompressedSizeEx(h, &totalCompressed) != 0 && totalCompressed >= 0,
               "GetArcCompressedSizeEx");

    // A second enumeration gives the same entries; a wildcard a subset of them.
    size_t again = 0;
    for (int r = p.FindFirst(h, "*", rec.data()); r == 0; r = p.FindNext(h, rec.data())) {
        FUZZ_CHECK(again < names.size(), "a second listing found more entries");
        const char* name = reinterpret_cast<const char*>(rec.data() + KESTREL_INFO_FILENAME);
        FUZZ_CHECK(names[again].compare(0, std::strlen(name), name) == 0,
                   "a second listing found other entries");
        ++again;
    }
    FUZZ_CHECK(again == names.size(), "a second listing found fewer entries");
    if (!names.empty()) {
        // The second half of the last name, cut where a character starts.
        const std::string& last = names.back();
        size_t cut = last.size() / 2;
        while (cut < last.size() && (static_cast<unsigned char>(last[cut]) & 0xC0) == 0x80) ++cut;
        std::string wildcard(1, '*');
        wildcard.append(last, cut, std::string::npos);
        size_t matched = 0;
        for (int r = p.FindFirst(h, wildcard.c_str(), rec.data()); r == 0;
             r = p.FindNext(h, rec.data())) {
            ++matched;
        }
        FUZZ_CHECK(matched >= 1 && matched <= names.size(),
                   "the wildcard " + wildcard + " misses the entry it was made from");
    }

    FUZZ_CHECK(p.CloseArchive(h) == 0, "CloseArchive of an open handle");
    FUZZ_CHECK(p.CloseArchive(h) != 0, "CloseArchive of a closed handle succeeded");
    FUZZ_CHECK(p.FindNext(h, rec.data()) != 0, "FindNext on a closed handle");
    return 0;
}

}  // namespace kestrel_fuzz
