#include "Platform.h"

#include <dlfcn.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwchar>

#include "Utf8.h"

namespace shelf {

namespace {

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
    return kestrel::utf8::FromWide(c_strWide);
}

void AppendWide(std::wstring* pstrWide, const char* c_pszAnsi, size_t c_nLength) {
    kestrel::utf8::AppendWide(pstrWide, std::string_view(c_pszAnsi, c_nLength));
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
