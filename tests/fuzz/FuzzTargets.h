// The fuzz targets. Each takes one input and returns 0; a broken promise goes to Violation,
// which aborts under libFuzzer (so the input is kept) and fails the replay test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrel_fuzz {

[[noreturn]] void Violation(const std::string& c_strWhat);
using ViolationHandler = void (*)(const std::string&);
void SetViolationHandler(ViolationHandler pfnHandler);

#define FUZZ_CHECK(cond, what)                                                      \
    do {                                                                            \
        if (!(cond)) ::kestrel_fuzz::Violation(std::string(what) + " (" #cond ")"); \
    } while (0)

struct Target {
    const char* pszName;  // also the folder of its regressions and corpus
    int (*pfnRun)(const uint8_t*, size_t);
    const char* pszSeedExtension;  // fixtures of tests/data as seeds; "" for corpus/<name>/
};
const std::vector<Target>& Targets();

// Caps what one input may make the process write: a decompression bomb fails its writes.
void LimitFileSizes();

}  // namespace kestrel_fuzz
