// A stand-in archiver plug-in for the engine's tests: it opens any file that begins with
// "FAKEARC" and records what its command is asked. The environment chooses what it does:
//   KESTREL_FAKE_LOG            one line per command ("cmd ...", "response PATH MODE")
//   KESTREL_FAKE_RESPONSE_COPY  a copy of the response file the command names
//   KESTREL_FAKE_CMD_RESULT     the command's result (default 0)
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

FAKE_EXPORT HARC UnlhaOpenArchive(void*, const char* c_pszPath, uint32_t) {
    char sz[8] = {};
    std::ifstream(c_pszPath != nullptr ? c_pszPath : "", std::ios::binary).read(sz, 7);
    return std::strcmp(sz, "FAKEARC") == 0 ? new int(0) : nullptr;
}

FAKE_EXPORT int UnlhaCloseArchive(HARC h) {
    delete static_cast<int*>(h);
    return 0;
}
