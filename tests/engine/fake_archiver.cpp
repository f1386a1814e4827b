// A stand-in archiver plug-in for the engine's tests, one build for every case. It lists a fixed
// set of entries from any file that begins with "FAKEARC" and records what it is asked. Under
// the prefix "Unlha" it exports every function; under "UnZip" neither the whole names nor the
// 64-bit entry sizes, as a plug-in of another maker may not. The environment chooses the rest:
//   KESTREL_FAKE_LOG            one line per command ("cmd ...", "response ... mode")
//   KESTREL_FAKE_RESPONSE_COPY  a copy of the response file the command names
//   KESTREL_FAKE_CMD_RESULT     the command's result (default 0)
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "common_archiver_api.h"

namespace {

struct FakeEntry {
    std::string strName;
    uint32_t nSize32;
    int64_t llSize64;
};

const FakeEntry* Entries(int* pnCount) {
    std::string strLong = "long/x";
    for (int i = 0; i < 200; ++i) strLong += "あ";  // 606 bytes: the record holds 510
    static const FakeEntry s_a[] = {{"dir\\a.txt", 100, 100},
                                    {"日本語/ファイル.txt", 2000, 2000},
                                    {"big.bin", 5, 0x140000005LL},
                                    {strLong, 1, 1},
                                    {"e/" + std::string(504, 'e') + ".txt", 2, 2}};  // 510, whole
    *pnCount = 5;
    return s_a;
}

struct Handle {
    int nPos = -1;
};

void Log(const std::string& c_str) {
    const char* psz = std::getenv("KESTREL_FAKE_LOG");
    if (psz == nullptr) return;
    if (std::FILE* p = std::fopen(psz, "ab")) {
        std::fprintf(p, "%s\n", c_str.c_str());
        std::fclose(p);
    }
}

int Fill(Handle* p, int nPos, void* pvRecord) {
    int nCount = 0;
    const FakeEntry* pe = Entries(&nCount);
    if (p == nullptr || pvRecord == nullptr || nPos >= nCount) return 1;
    auto* pb = static_cast<unsigned char*>(pvRecord);
    std::memset(pb, 0, KESTREL_INDIVIDUALINFO_SIZE);
    for (int i = 0; i < 4; ++i)
        pb[KESTREL_INFO_ORIGINAL_SIZE + i] = (pe[nPos].nSize32 >> (8 * i)) & 0xFF;
    pb[KESTREL_INFO_DATE] = (1 << 5) | 1;  // 1980-01-01
    pb[KESTREL_INFO_DATE + 1] = 0;
    size_t n = pe[nPos].strName.size();
    if (n > KESTREL_INFO_FILENAME_SIZE - 1) {  // cut at a character, as the real ones do
        n = KESTREL_INFO_FILENAME_SIZE - 1;
        while ((pe[nPos].strName[n] & 0xC0) == 0x80) --n;
    }
    std::memcpy(pb + KESTREL_INFO_FILENAME, pe[nPos].strName.data(), n);
    p->nPos = nPos;
    return 0;
}

int Command(void*, const char* c_psz, char* pszOut, uint32_t nOut) {
    const std::string str = c_psz != nullptr ? c_psz : "";
    Log("cmd " + str);
    size_t nAt = str.rfind('@');
    if (nAt != std::string::npos) {
        nAt += str[nAt + 1] == '"' ? 2 : 1;  // @"R" and "@R"
        const std::string strPath = str.substr(nAt, str.find('"', nAt) - nAt);
        struct stat st {};
        lstat(strPath.c_str(), &st);
        char sz[32];
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

HARC Open(void*, const char* c_pszPath, uint32_t) {
    char sz[8] = {};
    std::FILE* p = c_pszPath != nullptr ? std::fopen(c_pszPath, "rb") : nullptr;
    const bool bOk =
        p != nullptr && std::fread(sz, 1, 7, p) == 7 && std::memcmp(sz, "FAKEARC", 7) == 0;
    if (p != nullptr) std::fclose(p);
    return bOk ? new Handle() : nullptr;
}

int Close(HARC h) {
    delete static_cast<Handle*>(h);
    return 0;
}
int First(HARC h, const char*, void* pv) {
    return Fill(static_cast<Handle*>(h), 0, pv);
}
int Next(HARC h, void* pv) {
    return Fill(static_cast<Handle*>(h), static_cast<Handle*>(h)->nPos + 1, pv);
}
uint32_t Size32(HARC) {
    return 2000;
}
int Size64(HARC, int64_t* p) {
    return *p = 2000, 1;
}
const FakeEntry* Current(HARC h) {
    int nCount = 0;
    const int nPos = h != nullptr ? static_cast<Handle*>(h)->nPos : -1;
    return nPos >= 0 ? &Entries(&nCount)[nPos] : nullptr;
}
int EntrySize(HARC h, int64_t* p) {
    const FakeEntry* pe = Current(h);
    return pe != nullptr ? (*p = pe->llSize64, 1) : 0;
}
int FileName(HARC h, char* psz, uint32_t n) {
    const FakeEntry* pe = Current(h);
    if (pe == nullptr) return -1;
    if (pe->strName.size() + 1 > n) return static_cast<int>(pe->strName.size() + 1);
    std::memcpy(psz, pe->strName.c_str(), pe->strName.size() + 1);
    return 0;
}

}  // namespace

#define FAKE(PREFIX)                                                                               \
    extern "C" __attribute__((visibility("default"))) int PREFIX(void* h, const char* c, char* o,  \
                                                                 uint32_t n) {                     \
        return Command(h, c, o, n);                                                                \
    }                                                                                              \
    extern "C" __attribute__((visibility("default")))                                              \
    HARC PREFIX##OpenArchive(void* h, const char* p, uint32_t m) {                                 \
        return Open(h, p, m);                                                                      \
    }                                                                                              \
    extern "C" __attribute__((visibility("default"))) int PREFIX##CloseArchive(HARC h) {           \
        return Close(h);                                                                           \
    }                                                                                              \
    extern "C" __attribute__((visibility("default"))) int PREFIX##FindFirst(HARC h, const char* w, \
                                                                            void* r) {             \
        return First(h, w, r);                                                                     \
    }                                                                                              \
    extern "C" __attribute__((visibility("default"))) int PREFIX##FindNext(HARC h, void* r) {      \
        return Next(h, r);                                                                         \
    }                                                                                              \
    extern "C" __attribute__((visibility("default"))) uint32_t PREFIX##GetArcFileSize(HARC h) {    \
        return Size32(h);                                                                          \
    }                                                                                              \
    extern "C" __attribute__((visibility("default"))) uint32_t PREFIX##GetArcReadSize(HARC h) {    \
        return Size32(h);                                                                          \
    }                                                                                              \
    extern "C"                                                                                     \
        __attribute__((visibility("default"))) int PREFIX##GetArcFileSizeEx(HARC h, int64_t* p) {  \
        return Size64(h, p);                                                                       \
    }                                                                                              \
    extern "C"                                                                                     \
        __attribute__((visibility("default"))) int PREFIX##GetArcReadSizeEx(HARC h, int64_t* p) {  \
        return Size64(h, p);                                                                       \
    }
FAKE(Unlha)
FAKE(UnZip)
extern "C" __attribute__((visibility("default"))) int UnlhaGetOriginalSizeEx(HARC h, int64_t* p) {
    return EntrySize(h, p);
}
extern "C" __attribute__((visibility("default"))) int UnlhaGetFileName(HARC h, char* b,
                                                                       uint32_t n) {
    return FileName(h, b, n);
}
