#include "FuzzTargets.h"

namespace kestrel_fuzz {

const std::vector<Target>& Targets() {
    static const std::vector<Target> s_targets = {
        {"archive_list_lha",
         [](const uint8_t* d, size_t n) { return ArchiveListing(Format::Lha, d, n); }, ".lzh"},
        {"archive_list_zip",
         [](const uint8_t* d, size_t n) { return ArchiveListing(Format::Zip, d, n); }, ".zip"},
        {"archive_list_7z",
         [](const uint8_t* d, size_t n) { return ArchiveListing(Format::SevenZip, d, n); }, ".7z"},
        {"archive_extract_lha",
         [](const uint8_t* d, size_t n) { return ArchiveExtraction(Format::Lha, d, n); }, ".lzh"},
        {"archive_extract_zip",
         [](const uint8_t* d, size_t n) { return ArchiveExtraction(Format::Zip, d, n); }, ".zip"},
        {"archive_extract_7z",
         [](const uint8_t* d, size_t n) { return ArchiveExtraction(Format::SevenZip, d, n); },
         ".7z"},
        {"command_line", CommandLine, ""},
#ifdef KESTREL_FUZZ_CONFIG
        {"config_file", ConfigFile, ""},
#endif
    };
    return s_targets;
}

const Target* FindTarget(const std::string& c_strName) {
    for (const Target& t : Targets()) {
        if (c_strName == t.pszName) return &t;
    }
    return nullptr;
}

}  // namespace kestrel_fuzz
