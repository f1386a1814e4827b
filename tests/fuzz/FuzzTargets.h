// The fuzz targets. Each takes one input and returns 0; a broken promise goes to Violation.
// The same functions run under libFuzzer (one program per target) and in the replay test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"

namespace kestrel_fuzz {

// Open and list every entry of the bytes as an archive of the format, with every query.
int ArchiveListing(Format eFormat, const uint8_t* pData, size_t nSize);
// Extract the bytes as an archive of the format into the sandbox: everything, a few named
// entries, then everything again over what is there.
int ArchiveExtraction(Format eFormat, const uint8_t* pData, size_t nSize);
// A command line and response file against a small fixed archive (layout in the source).
int CommandLine(const uint8_t* pData, size_t nSize);
// The bytes as the settings file.
int ConfigFile(const uint8_t* pData, size_t nSize);

struct Target {
    const char* pszName;  // also the folder of its regressions and corpus
    int (*pfnRun)(const uint8_t*, size_t);
    // Seeds: fixtures of tests/data with this extension ("" for none), or its own corpus.
    const char* pszSeedExtension;
};
const std::vector<Target>& Targets();
const Target* FindTarget(const std::string& c_strName);

}  // namespace kestrel_fuzz
