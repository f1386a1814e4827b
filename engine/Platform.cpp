#include "Platform.h"

#include <dlfcn.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwchar>

namespace shelf {

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

void SystemClock(SYSTEMTIME* pstTime) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm stTm{};
    gmtime_r(&ts.tv_sec, &stTm);
    pstTime->wYear = static_cast<uint16_t>(stTm.tm_year + 1900);
    pstTime->wMonth = static_cast<uint16_t>(stTm.tm_mon + 1);
    pstTime->wDayOfWeek = static_cast<uint16_t>(stTm.tm_wday);
    pstTime->wDay = static_cast<uint16_t>(stTm.tm_mday);
    pstTime->wHour = static_cast<uint16_t>(stTm.tm_hour);
    pstTime->wMinute = static_cast<uint16_t>(stTm.tm_min);
    pstTime->wSecond = static_cast<uint16_t>(stTm.tm_sec);
    pstTime->wMilliseconds = static_cast<uint16_t>(ts.tv_nsec / 1000000);
}

PFN_SYSTEMTIME_SOURCE g_pfnTimeSource = &SystemClock;

// Days from 1970-01-01 to the given proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool IsLeapYear(unsigned y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

void* TryLoad(const std::string& c_strPath) {
    return dlopen(c_strPath.c_str(), RTLD_NOW | RTLD_LOCAL);
}

}  // namespace

int32_t CheckPathType(const std::wstring& c_strPath) {
    // An embedded NUL would make the narrow path name something else.
    if (c_strPath.empty() || c_strPath.find(L'\0') != std::wstring::npos) return 0;
    // The kernel completes a relative path with the current directory.
    struct stat st {};
    if (stat(ToAnsi(c_strPath).c_str(), &st) != 0) return 0;
    return S_ISDIR(st.st_mode) ? 2 : 1;
}

std::string ToAnsi(const std::wstring& c_strWide) {
    // Written straight into room for the longest form, then cut to what was written.
    std::string str(c_strWide.size() * 4, '\0');
    char* pOut = str.data();
    const wchar_t* p = c_strWide.data();
    const wchar_t* const pEnd = p + c_strWide.size();
    while (p < pEnd) {
        // Runs of ASCII (without NUL), four characters at a time.
        while (pEnd - p >= 4 &&
               (static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) |
                static_cast<uint32_t>(p[2]) | static_cast<uint32_t>(p[3])) < 0x80 &&
               p[0] != 0 && p[1] != 0 && p[2] != 0 && p[3] != 0) {
            for (int i = 0; i < 4; ++i) pOut[i] = static_cast<char>(p[i]);
            p += 4;
            pOut += 4;
        }
        if (p == pEnd) break;
        uint32_t c = static_cast<uint32_t>(*p++);
        if (c == 0) break;
        if (c < 0x80) {
            *pOut++ = static_cast<char>(c);
            continue;
        }
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = kReplacement;
        if (c < 0x800) {
            *pOut++ = static_cast<char>(0xC0 | (c >> 6));
        } else if (c < 0x10000) {
            *pOut++ = static_cast<char>(0xE0 | (c >> 12));
            *pOut++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        } else {
            *pOut++ = static_cast<char>(0xF0 | (c >> 18));
            *pOut++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *pOut++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        }
        *pOut++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    str.resize(static_cast<size_t>(pOut - str.data()));
    return str;
}

void AppendWide(std::wstring* pstrWide, const char* c_pszAnsi, size_t c_nLength) {
    const size_t nOld = pstrWide->size();
    pstrWide->resize(nOld + c_nLength);  // never more characters than bytes
    wchar_t* pOut = pstrWide->data() + nOld;
    const auto* p = reinterpret_cast<const unsigned char*>(c_pszAnsi);
    const unsigned char* const pEnd = p + c_nLength;
    while (p < pEnd) {
        // Runs of ASCII, eight bytes at a time.
        uint64_t w;
        while (pEnd - p >= 8 && (std::memcpy(&w, p, 8), (w & 0x8080808080808080ull) == 0)) {
            for (int i = 0; i < 8; ++i) pOut[i] = p[i];
            p += 8;
            pOut += 8;
        }
        if (p == pEnd) break;
        const unsigned char c = *p;
        if (c < 0x80) {
            *pOut++ = c;
            ++p;
            continue;
        }
        uint32_t cp = 0;
        size_t nNeed = 0;
        uint32_t nMin = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            cp = c & 0x1F, nNeed = 1, nMin = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            cp = c & 0x0F, nNeed = 2, nMin = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            cp = c & 0x07, nNeed = 3, nMin = 0x10000;
        }
        bool bValid = nNeed != 0 && static_cast<size_t>(pEnd - p) > nNeed;
        for (size_t i = 1; bValid && i <= nNeed; ++i) {
            if (!IsContinuation(p[i])) {
                bValid = false;
            } else {
                cp = (cp << 6) | (p[i] & 0x3F);
            }
        }
        if (bValid && (cp < nMin || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) {
            bValid = false;
        }
        if (bValid) {
            *pOut++ = static_cast<wchar_t>(cp);
            p += nNeed + 1;
        } else {
            *pOut++ = kReplacement;
            ++p;
        }
    }
    pstrWide->resize(static_cast<size_t>(pOut - pstrWide->data()));
}

std::wstring ToWide(const char* c_pszAnsi) {
    std::wstring str;
    if (c_pszAnsi != nullptr) AppendWide(&str, c_pszAnsi, std::strlen(c_pszAnsi));
    return str;
}

std::wstring ToWide(const std::string& c_strAnsi) {
    return ToWide(c_strAnsi.c_str());
}

int32_t GetModuleFolder(wchar_t* pszBuffer, int32_t c_nCapacity) {
    std::string strExe(256, '\0');
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", strExe.data(), strExe.size());
        if (n < 0) return 0;
        if (static_cast<size_t>(n) < strExe.size()) {
            strExe.resize(static_cast<size_t>(n));
            break;
        }
        strExe.resize(strExe.size() * 2);
    }
    const std::wstring strWide = ToWide(strExe);
    const size_t nSlash = strWide.rfind(L'/');
    if (nSlash == std::wstring::npos || nSlash == 0) return 0;
    if (pszBuffer == nullptr || c_nCapacity <= 0 || nSlash >= static_cast<size_t>(c_nCapacity)) {
        return 0;
    }
    std::wmemcpy(pszBuffer, strWide.data(), nSlash);
    pszBuffer[nSlash] = L'\0';
    return static_cast<int32_t>(nSlash);
}

int32_t MakeUniqueFileName(const wchar_t* c_pszFolder, const wchar_t* c_pszPrefix,
                           const wchar_t* c_pszExtension, wchar_t* pszBuffer, int32_t c_nCapacity) {
    if (c_pszFolder == nullptr || c_pszPrefix == nullptr || c_pszExtension == nullptr ||
        pszBuffer == nullptr) {
        return 0;
    }
    const size_t nNeeded =
        std::wcslen(c_pszFolder) + std::wcslen(c_pszPrefix) + std::wcslen(c_pszExtension) + 10;
    if (c_nCapacity < 0 || static_cast<size_t>(c_nCapacity) < nNeeded) return 0;

    uint32_t nStep = 0;
    uint32_t nLastTime = 0;
    // Bounded, so that a folder full of taken names cannot hold the caller forever.
    for (int nAttempt = 0; nAttempt < 65536; ++nAttempt) {
        SYSTEMTIME st{};
        GetSystemTime(&st);
        const uint32_t nTime = st.wYear + (static_cast<uint32_t>(st.wMonth) + st.wDay + st.wHour +
                                           st.wMinute + st.wSecond + st.wMilliseconds) *
                                              st.wMinute * st.wSecond * st.wMilliseconds;
        // The same reading again would give the same taken name: step on instead of spinning.
        if (nAttempt > 0 && nTime == nLastTime) ++nStep;
        nLastTime = nTime;
        wchar_t szDigits[9];
        std::swprintf(szDigits, 9, L"%.8x", static_cast<unsigned>(nTime + nStep));
        std::wstring strName = c_pszFolder;
        strName += L'/';
        strName += c_pszPrefix;
        strName += szDigits;
        strName += c_pszExtension;
        struct stat st2 {};
        if (CheckPathType(strName) == 0 && lstat(ToAnsi(strName).c_str(), &st2) != 0) {
            std::wmemcpy(pszBuffer, strName.c_str(), strName.size() + 1);
            return 1;
        }
    }
    return 0;
}

void GetSystemTime(SYSTEMTIME* pstTime) {
    if (pstTime != nullptr) g_pfnTimeSource(pstTime);
}

void SetSystemTimeSource(PFN_SYSTEMTIME_SOURCE pfnSource) {
    g_pfnTimeSource = pfnSource != nullptr ? pfnSource : &SystemClock;
}

std::wstring GetTempFolder() {
    const char* pszTmp = std::getenv("TMPDIR");
    std::wstring str = (pszTmp != nullptr && pszTmp[0] == '/') ? ToWide(pszTmp) : L"/tmp";
    while (str.size() > 1 && str.back() == L'/') str.pop_back();
    if (str == L"/") str.clear();  // the caller adds the separator
    return str;
}

bool DosDateTimeToFileTime(uint16_t c_nDosDate, uint16_t c_nDosTime, uint64_t* pnFileTime) {
    const unsigned nYear = 1980 + (c_nDosDate >> 9);
    const unsigned nMonth = (c_nDosDate >> 5) & 0x0F;
    const unsigned nDay = c_nDosDate & 0x1F;
    const unsigned nHour = c_nDosTime >> 11;
    const unsigned nMinute = (c_nDosTime >> 5) & 0x3F;
    const unsigned nSecond2 = c_nDosTime & 0x1F;
    static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (nMonth == 0 || nMonth > 12 || nDay == 0 || nHour > 23 || nMinute > 59 || nSecond2 > 29) {
        return false;
    }
    const unsigned nMonthDays = kDays[nMonth - 1] + (nMonth == 2 && IsLeapYear(nYear) ? 1 : 0);
    if (nDay > nMonthDays) return false;
    if (pnFileTime == nullptr) return true;
    static const int64_t kEpoch1601 = DaysFromCivil(1601, 1, 1);
    const int64_t nDays = DaysFromCivil(nYear, nMonth, nDay) - kEpoch1601;
    const int64_t nSeconds = nDays * 86400 + nHour * 3600 + nMinute * 60 + nSecond2 * 2;
    *pnFileTime = static_cast<uint64_t>(nSeconds) * 10000000u;
    return true;
}

std::wstring GetPrivateLibraryFolder() {
    wchar_t szFolder[4096];
    if (GetModuleFolder(szFolder, 4096) <= 0) return std::wstring();
    return std::wstring(szFolder) + L"/" + ToWide(KESTREL_PLUGINDIR_FROM_BINDIR);
}

bool IsInstalledCopy() {
    // Not "is the executable's folder writable": root may write anywhere, and an installed
    // copy must not leave files in /usr/bin whoever runs it.
    static const bool s_bInstalled = [] {
        const std::wstring strFolder = GetPrivateLibraryFolder();
        return !strFolder.empty() && CheckPathType(strFolder) == 2;
    }();
    return s_bInstalled;
}

void* LoadArchiverLibrary(const std::wstring& c_strDllName) {
    std::string strName = ToAnsi(c_strDllName);
    if (strName.empty() || c_strDllName.find(L'\0') != std::wstring::npos) return nullptr;
    if (strName.size() > 4 && strcasecmp(strName.c_str() + strName.size() - 4, ".dll") == 0) {
        strName.replace(strName.size() - 4, 4, ".so");
    }
    if (strName.find('/') != std::string::npos) return TryLoad(strName);

    const char* pszDir = std::getenv("KESTREL_ARCHIVER_DIR");
    std::string strFolder;
    if (pszDir != nullptr && pszDir[0] != '\0') {
        strFolder = pszDir;
    } else if (IsInstalledCopy()) {
        strFolder = ToAnsi(GetPrivateLibraryFolder());
    } else {
        wchar_t szFolder[4096];
        if (GetModuleFolder(szFolder, 4096) > 0) strFolder = ToAnsi(szFolder);
    }
    if (!strFolder.empty()) {
        if (void* h = TryLoad(strFolder + "/" + strName)) return h;
    }
    return TryLoad(strName);
}

void* GetArchiverFunction(void* hModule, const char* c_pszName) {
    if (hModule == nullptr || c_pszName == nullptr) return nullptr;
    return dlsym(hModule, c_pszName);
}

void FreeArchiverLibrary(void* hModule) {
    if (hModule != nullptr) dlclose(hModule);
}

}  // namespace shelf
