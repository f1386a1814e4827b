// A stand-in archiver plug-in for the engine's tests. It exports, under all three prefixes, the
// subset of functions chosen at compile time (FAKE_WITH_*), lists a fixed set of entries from
// any file that begins with "FAKEARC", and records what it is asked into files named by the
// environment:
//   KESTREL_FAKE_LOG            one line per call (open, close, findfirst, cmd, response-path)
//   KESTREL_FAKE_RESPONSE_COPY  a byte-for-byte copy of the response file the command names
// and behaves as the environment says:
//   KESTREL_FAKE_COUNT          number of entries listed (default: all but the last)
//   KESTREL_FAKE_FAIL_AT        index of the entry whose FindFirst/FindNext fails
//   KESTREL_FAKE_TOTAL, KESTREL_FAKE_READ   archive size and bytes read (default 2000, 500)
//   KESTREL_FAKE_SIZE_FAIL      the 64-bit archive size queries fail
//   KESTREL_FAKE_CMD_RESULT, KESTREL_FAKE_CLOSE_RESULT   results of the command and of close
#include <sys/stat.h>

#include <cstdint>
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
    uint32_t nOriginal32, nCompressed32;
    int64_t nOriginal64, nCompressed64;
    uint16_t nRatio, nDate, nTime;
};

constexpr uint16_t kDate = (44 << 9) | (5 << 5) | 1;     // 2024-05-01
constexpr uint16_t kTime = (12 << 11) | (34 << 5) | 28;  // 12:34:56

std::string Repeat(const std::string& c_str, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += c_str;
    return s;
}

const FakeEntry* Entries(int* pnCount) {
    static const FakeEntry kEntries[] = {
        {"dir\\a.txt", 100, 50, 100, 50, 500, kDate, kTime},
        {"日本語/ファイル.txt", 2000, 1000, 2000, 1000, 500, kDate, kTime},
        {"big.bin", 5, 3, 0x140000005LL, 0x100000003LL, 600, kDate, kTime},
        {"bad-date.txt", 0, 0, 0, 0, 0, (44 << 9) | (13 << 5) | 1, kTime},
        // 606 bytes: the record holds the first 510 (a whole character more would be 513).
        {"long/x" + Repeat("あ", 200), 1, 1, 1, 1, 1000, kDate, kTime},
        // 510 bytes, whole.
        {"e/" + std::string(504, 'e') + ".txt", 2, 2, 2, 2, 1000, kDate, kTime},
        // Listed only when KESTREL_FAKE_COUNT asks for it: 6010 bytes, 3001 folders deep.
        {"deep/" + Repeat("d/", 3000) + "f.txt", 3, 3, 3, 3, 1000, kDate, kTime},
    };
    *pnCount = static_cast<int>(sizeof(kEntries) / sizeof(kEntries[0]));
    return kEntries;
}

long EnvNumber(const char* c_pszName, long nDefault) {
    const char* psz = std::getenv(c_pszName);
    return psz != nullptr && psz[0] != '\0' ? std::strtol(psz, nullptr, 0) : nDefault;
}

void Log(const std::string& c_strLine) {
    const char* pszLog = std::getenv("KESTREL_FAKE_LOG");
    if (pszLog == nullptr || pszLog[0] == '\0') return;
    if (std::FILE* pFile = std::fopen(pszLog, "ab")) {
        std::fprintf(pFile, "%s\n", c_strLine.c_str());
        std::fclose(pFile);
    }
}

struct FakeHandle {
    int nPos = -1;  // index of the entry last found
};

void Put32(unsigned char* p, uint32_t n) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(n >> (8 * i));
}
void Put16(unsigned char* p, uint16_t n) {
    p[0] = static_cast<unsigned char>(n);
    p[1] = static_cast<unsigned char>(n >> 8);
}

// Fills the record with entry nPos; non-zero at the end or at the planned failure.
int Fill(FakeHandle* pHandle, int nPos, void* pvRecord) {
    int nCount = 0;
    const FakeEntry* pEntries = Entries(&nCount);
    nCount = static_cast<int>(EnvNumber("KESTREL_FAKE_COUNT", nCount - 1));
    if (nPos >= nCount || nPos == EnvNumber("KESTREL_FAKE_FAIL_AT", -1)) return 1;
    const FakeEntry& e = pEntries[nPos];
    auto* p = static_cast<unsigned char*>(pvRecord);
    std::memset(p, 0, KESTREL_INDIVIDUALINFO_SIZE);
    Put32(p + KESTREL_INFO_ORIGINAL_SIZE, e.nOriginal32);
    Put32(p + KESTREL_INFO_COMPRESSED_SIZE, e.nCompressed32);
    Put32(p + KESTREL_INFO_FLAG, 0x10u + static_cast<uint32_t>(nPos));
    Put32(p + KESTREL_INFO_OS_TYPE, 7);
    Put16(p + KESTREL_INFO_RATIO, e.nRatio);
    Put16(p + KESTREL_INFO_DATE, e.nDate);
    Put16(p + KESTREL_INFO_TIME, e.nTime);
    // Cut at 512 bytes, on a character boundary, as the real plug-ins do.
    size_t nLength = e.strName.size();
    if (nLength > KESTREL_INFO_FILENAME_SIZE - 1) {
        nLength = KESTREL_INFO_FILENAME_SIZE - 1;
        while (nLength > 0 && (static_cast<unsigned char>(e.strName[nLength]) & 0xC0) == 0x80) {
            --nLength;
        }
    }
    std::memcpy(p + KESTREL_INFO_FILENAME, e.strName.data(), nLength);
    pHandle->nPos = nPos;
    return 0;
}

const FakeEntry* Current(HARC harc) {
    auto* pHandle = static_cast<FakeHandle*>(harc);
    int nCount = 0;
    const FakeEntry* pEntries = Entries(&nCount);
    if (pHandle == nullptr || pHandle->nPos < 0 || pHandle->nPos >= nCount) return nullptr;
    return &pEntries[pHandle->nPos];
}

[[maybe_unused]] int ImplCommand(void*, const char* c_pszCommandLine, char* pszOutput,
                                 uint32_t nOutputSize) {
    const std::string strLine = c_pszCommandLine != nullptr ? c_pszCommandLine : "";
    Log("cmd " + strLine);
    const size_t nAt = strLine.rfind('@');
    if (nAt != std::string::npos) {
        size_t nStart = nAt + 1;
        if (nStart < strLine.size() && strLine[nStart] == '"') ++nStart;
        const size_t nEnd = strLine.find('"', nStart);
        const std::string strPath =
            strLine.substr(nStart, nEnd == std::string::npos ? std::string::npos : nEnd - nStart);
        Log("response-path " + strPath);
        struct stat st {};
        if (lstat(strPath.c_str(), &st) == 0) {
            char szMode[32];
            std::snprintf(szMode, sizeof szMode, "response-mode %o %s", st.st_mode & 07777,
                          S_ISREG(st.st_mode) ? "file" : "other");
            Log(szMode);
        }
        const char* pszCopy = std::getenv("KESTREL_FAKE_RESPONSE_COPY");
        if (pszCopy != nullptr && pszCopy[0] != '\0') {
            std::ifstream in(strPath, std::ios::binary);
            std::ofstream out(pszCopy, std::ios::binary | std::ios::trunc);
            out << std::string(std::istreambuf_iterator<char>(in), {});
        }
    }
    if (pszOutput != nullptr && nOutputSize > 0) {
        std::snprintf(pszOutput, nOutputSize, "fake: done");
    }
    return static_cast<int>(EnvNumber("KESTREL_FAKE_CMD_RESULT", 0));
}

[[maybe_unused]] HARC ImplOpenArchive(void*, const char* c_pszPath, uint32_t nMode) {
    char szMode[16];
    std::snprintf(szMode, sizeof szMode, "%#x", nMode);
    Log(std::string("open ") + (c_pszPath != nullptr ? c_pszPath : "(null)") + " " + szMode);
    std::FILE* pFile = c_pszPath != nullptr ? std::fopen(c_pszPath, "rb") : nullptr;
    if (pFile == nullptr) return nullptr;
    char szMagic[8] = {};
    const size_t n = std::fread(szMagic, 1, 7, pFile);
    std::fclose(pFile);
    if (n != 7 || std::memcmp(szMagic, "FAKEARC", 7) != 0) return nullptr;
#ifdef FAKE_WITH_CLOSE
    return new FakeHandle();
#else
    // Nothing would ever free a handle: hand out reusable ones.
    static FakeHandle s_aHandle[64];
    static int s_nNext = 0;
    FakeHandle* pHandle = &s_aHandle[s_nNext++ % 64];
    *pHandle = FakeHandle();
    return pHandle;
#endif
}

[[maybe_unused]] int ImplCloseArchive(HARC harc) {
    Log("close");
    delete static_cast<FakeHandle*>(harc);
    return static_cast<int>(EnvNumber("KESTREL_FAKE_CLOSE_RESULT", 0));
}

[[maybe_unused]] int ImplFindFirst(HARC harc, const char* c_pszWild, void* pvRecord) {
    Log(std::string("findfirst ") + (c_pszWild != nullptr ? c_pszWild : "(null)"));
    return Fill(static_cast<FakeHandle*>(harc), 0, pvRecord);
}

[[maybe_unused]] int ImplFindNext(HARC harc, void* pvRecord) {
    auto* pHandle = static_cast<FakeHandle*>(harc);
    return Fill(pHandle, pHandle->nPos + 1, pvRecord);
}

[[maybe_unused]] uint32_t ImplGetArcFileSize(HARC) {
    return static_cast<uint32_t>(EnvNumber("KESTREL_FAKE_TOTAL", 2000));
}
[[maybe_unused]] uint32_t ImplGetArcReadSize(HARC) {
    return static_cast<uint32_t>(EnvNumber("KESTREL_FAKE_READ", 500));
}
[[maybe_unused]] int ImplGetArcFileSizeEx(HARC, int64_t* p) {
    if (EnvNumber("KESTREL_FAKE_SIZE_FAIL", 0) != 0) return 0;
    *p = EnvNumber("KESTREL_FAKE_TOTAL", 2000);
    return 1;
}
[[maybe_unused]] int ImplGetArcReadSizeEx(HARC, int64_t* p) {
    if (EnvNumber("KESTREL_FAKE_SIZE_FAIL", 0) != 0) return 0;
    *p = EnvNumber("KESTREL_FAKE_READ", 500);
    return 1;
}
[[maybe_unused]] int ImplGetArcOriginalSizeEx(HARC, int64_t* p) {
    *p = 7000;
    return 1;
}
[[maybe_unused]] int ImplGetArcCompressedSizeEx(HARC, int64_t* p) {
    *p = 3000;
    return 1;
}
[[maybe_unused]] int ImplGetOriginalSizeEx(HARC harc, int64_t* p) {
    const FakeEntry* e = Current(harc);
    if (e == nullptr) return 0;
    *p = e->nOriginal64;
    return 1;
}
[[maybe_unused]] int ImplGetCompressedSizeEx(HARC harc, int64_t* p) {
    const FakeEntry* e = Current(harc);
    if (e == nullptr) return 0;
    *p = e->nCompressed64;
    return 1;
}
[[maybe_unused]] int ImplGetFileName(HARC harc, char* pszBuffer, uint32_t nSize) {
    const FakeEntry* e = Current(harc);
    if (e == nullptr) return -1;
    if (e->strName.size() + 1 > nSize) return static_cast<int>(e->strName.size() + 1);
    std::memcpy(pszBuffer, e->strName.c_str(), e->strName.size() + 1);
    return 0;
}

}  // namespace

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#define FAKE_EXPORT3(RET, SUFFIX, PARAMS, ARGS) \
    FAKE_EXPORT RET Unlha##SUFFIX PARAMS {      \
        return Impl##SUFFIX ARGS;               \
    }                                           \
    FAKE_EXPORT RET UnZip##SUFFIX PARAMS {      \
        return Impl##SUFFIX ARGS;               \
    }                                           \
    FAKE_EXPORT RET SevenZip##SUFFIX PARAMS {   \
        return Impl##SUFFIX ARGS;               \
    }

#ifdef FAKE_WITH_COMMAND
FAKE_EXPORT int Unlha(void* h, const char* c, char* o, uint32_t n) {
    return ImplCommand(h, c, o, n);
}
FAKE_EXPORT int UnZip(void* h, const char* c, char* o, uint32_t n) {
    return ImplCommand(h, c, o, n);
}
FAKE_EXPORT int SevenZip(void* h, const char* c, char* o, uint32_t n) {
    return ImplCommand(h, c, o, n);
}
#endif
#ifdef FAKE_WITH_OPEN
FAKE_EXPORT3(HARC, OpenArchive, (void* h, const char* p, uint32_t m), (h, p, m))
#endif
#ifdef FAKE_WITH_CLOSE
FAKE_EXPORT3(int, CloseArchive, (HARC h), (h))
#endif
#ifdef FAKE_WITH_FIND
FAKE_EXPORT3(int, FindFirst, (HARC h, const char* w, void* r), (h, w, r))
FAKE_EXPORT3(int, FindNext, (HARC h, void* r), (h, r))
#endif
#ifdef FAKE_WITH_SIZE32
FAKE_EXPORT3(uint32_t, GetArcFileSize, (HARC h), (h))
FAKE_EXPORT3(uint32_t, GetArcReadSize, (HARC h), (h))
#endif
#ifdef FAKE_WITH_SIZE64
FAKE_EXPORT3(int, GetArcFileSizeEx, (HARC h, int64_t* p), (h, p))
FAKE_EXPORT3(int, GetArcReadSizeEx, (HARC h, int64_t* p), (h, p))
FAKE_EXPORT3(int, GetArcOriginalSizeEx, (HARC h, int64_t* p), (h, p))
FAKE_EXPORT3(int, GetArcCompressedSizeEx, (HARC h, int64_t* p), (h, p))
#endif
#ifdef FAKE_WITH_ENTRY_SIZE
FAKE_EXPORT3(int, GetOriginalSizeEx, (HARC h, int64_t* p), (h, p))
FAKE_EXPORT3(int, GetCompressedSizeEx, (HARC h, int64_t* p), (h, p))
#endif
#ifdef FAKE_WITH_FILENAME
FAKE_EXPORT3(int, GetFileName, (HARC h, char* b, uint32_t n), (h, b, n))
#endif
