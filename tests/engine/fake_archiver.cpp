// A stand-in archiver plug-in for the engine's tests: it opens any file that begins with
// "FAKEARC" and records what its command is asked. The environment chooses what it does:
//   KESTREL_FAKE_LOG            one line per command ("cmd ...", "response PATH MODE")
//   KESTREL_FAKE_RESPONSE_COPY  a copy of the response file the command names
//   KESTREL_FAKE_CMD_RESULT     the command's result (default 0)
//   KESTREL_FAKE_PASSWORD       CommandEx asks for passwords until given this one or none
//                               ("password N right" or "password declined"), then reports one
//                               entry's progress (cancelled: result 7)
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "common_archiver_api.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

void Log(const std::string& c_str) {
    if (const char* psz = std::getenv("KESTREL_FAKE_LOG"))
        std::ofstream(psz, std::ios::app) << c_str << "\n";
}

}  // namespace

FAKE_EXPORT int Unlha(void*, const char* c_psz, char* pszOut, uint32_t nOut) {
    const std::string str = c_psz != nullptr ? c_psz : "";
    Log("cmd " + str);
    size_t nAt = str.rfind('@');
    if (nAt != std::string::npos) {
        nAt += str[nAt + 1] == '"' ? 2 : 1;  // @"R" and "@R"
        const std::string strPath = str.substr(nAt, str.find('"', nAt) - nAt);
        struct stat st {};
        lstat(strPath.c_str(), &st);
        char sz[16];
        std::snprintf(sz, sizeof sz, " %o", st.st_mode & 07777);
        Log("response " + strPath + sz);
        if (const char* pszCopy = std::getenv("KESTREL_FAKE_RESPONSE_COPY")) {
            std::ifstream in(strPath, std::ios::binary);
            std::ofstream(pszCopy, std::ios::binary)
                << std::string(std::istreambuf_iterator<char>(in), {});
        }
    }
    if (pszOut != nullptr && nOut > 0) std::snprintf(pszOut, nOut, "fake: done");
    const char* pszResult = std::getenv("KESTREL_FAKE_CMD_RESULT");
    return pszResult != nullptr ? std::atoi(pszResult) : 0;
}

FAKE_EXPORT int UnlhaCommandEx(void* pv, const char* c_psz, char* pszOut, uint32_t nOut,
                               const KESTREL_COMMAND_CALLBACKS* p) {
    const char* pszWanted = std::getenv("KESTREL_FAKE_PASSWORD");
    if (pszWanted != nullptr && p != nullptr) {
        char sz[64];
        for (uint32_t n = 0; n < 4; ++n) {
            if (p->pfnPassword(p->pvContext, n, sz, sizeof sz) == 0) {
                Log("password declined");
                break;
            }
            if (std::strcmp(sz, pszWanted) == 0) {
                Log("password " + std::to_string(n) + " right");
                break;
            }
        }
        const KESTREL_PROGRESS st{0, 1, 0, 4, "dir/a.txt"};
        if (p->pfnProgress != nullptr && p->pfnProgress(p->pvContext, &st) != 0)
            return KESTREL_RESULT_CANCELLED;
    }
    return Unlha(pv, c_psz, pszOut, nOut);
}

FAKE_EXPORT HARC UnlhaOpenArchive(void*, const char* c_pszPath, uint32_t) {
    char sz[8] = {};
    std::ifstream(c_pszPath != nullptr ? c_pszPath : "", std::ios::binary).read(sz, 7);
    return std::strcmp(sz, "FAKEARC") == 0 ? new int(0) : nullptr;
}

FAKE_EXPORT int UnlhaCloseArchive(HARC h) {
    delete static_cast<int*>(h);
    return 0;
}
