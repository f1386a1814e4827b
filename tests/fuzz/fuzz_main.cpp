// The libFuzzer entry of one target, chosen when the program is built.
#include <cstring>

#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    static const auto s_pfnRun = [] {
        kestrel_fuzz::LimitFileSizes();
        for (const auto& c_target : kestrel_fuzz::Targets()) {
            if (std::strcmp(c_target.pszName, KESTREL_FUZZ_TARGET) == 0) return c_target.pfnRun;
        }
        kestrel_fuzz::Violation("no fuzz target " KESTREL_FUZZ_TARGET);
    }();
    return s_pfnRun(pData, nSize);
}
