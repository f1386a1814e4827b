// The libFuzzer entry of one target, chosen when the program is built.
#include <cstdio>
#include <cstdlib>

#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    static const kestrel_fuzz::Target* s_pTarget = [] {
        const kestrel_fuzz::Target* t = kestrel_fuzz::FindTarget(KESTREL_FUZZ_TARGET);
        if (!t) {
            std::fprintf(stderr, "no fuzz target %s\n", KESTREL_FUZZ_TARGET);
            std::abort();
        }
        kestrel_fuzz::LimitFileSizes();
        return t;
    }();
    return s_pTarget->pfnRun(pData, nSize);
}
