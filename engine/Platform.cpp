#include "Platform.h"

#include <dlfcn.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <type_traits>

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

// 1601-01-01, where FILETIME begins, also begins a 400-year cycle of the calendar.
constexpr std::chrono::sys_days kFileTimeEpoch = std::chrono::year{1601} / std::chrono::January / 1;
constexpr uint64_t kDaysPerCycle = 146097;

template <class CHAR>
void AppendVisibleText(std::basic_string<CHAR>* pstrOut, std::basic_string_view<CHAR> c_svText) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    size_t nRun = 0;  // start of the characters not yet appended
    for (size_t i = 0; i < c_svText.size(); ++i) {
        const auto c = static_cast<std::make_unsigned_t<CHAR>>(c_svText[i]);
        if (c >= 0x20 && c != 0x7F) continue;
        pstrOut->append(c_svText.substr(nRun, i - nRun));
        const CHAR szEscape[4] = {'\\', 'x', static_cast<CHAR>(kHex[c >> 4]),
                                  static_cast<CHAR>(kHex[c & 0x0F])};
        pstrOut->append(szEscape, 4);
        nRun = i + 1;
    }
    pstrOut->append(c_svText.substr(nRun));
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
    using namespace std::chrono;
    const year_month_day c_ymd{year{1980 + (c_nDosDate >> 9)}, month{(c_nDosDate >> 5) & 0x0Fu},
                               day{c_nDosDate & 0x1Fu}};
    const unsigned nHour = c_nDosTime >> 11;
    const unsigned nMinute = (c_nDosTime >> 5) & 0x3F;
    const unsigned nSecond2 = c_nDosTime & 0x1F;
    if (!c_ymd.ok() || nHour > 23 || nMinute > 59 || nSecond2 > 29) return false;
    if (pnFileTime == nullptr) return true;
    const seconds c_sSince1601 =
        sys_days{c_ymd} - kFileTimeEpoch + hours{nHour} + minutes{nMinute} + seconds{nSecond2 * 2};
    *pnFileTime = static_cast<uint64_t>(c_sSince1601.count()) * 10000000u;
    return true;
}

std::string FileTimeText(uint64_t c_nFileTime) {
    if ((c_nFileTime >> 32) == 0xFFFFFFFF) return "??\\?? ??:??:??";
    using namespace std::chrono;
    const uint64_t nSeconds = c_nFileTime / 10000000u;
    const uint64_t nDays = nSeconds / 86400;
    const auto nSecondOfDay = static_cast<unsigned>(nSeconds % 86400);
    // The calendar's years end at 32767, FILETIME's near 60056: whole cycles are added apart.
    const year_month_day c_ymd{kFileTimeEpoch + days{nDays % kDaysPerCycle}};
    const uint64_t nYear =
        static_cast<uint64_t>(static_cast<int>(c_ymd.year())) + 400 * (nDays / kDaysPerCycle);
    // Every entry may have a date of its own: formatted by hand, not by printf.
    char sz[24];
    char* p = sz;
    auto put = [&p](uint64_t nValue, int nDigits, char cAfter) {
        char* pEnd = p + nDigits;
        for (char* q = pEnd; q-- > p; nValue /= 10) *q = static_cast<char>('0' + nValue % 10);
        *pEnd = cAfter;
        p = pEnd + 1;
    };
    put(nYear, nYear > 9999 ? 5 : 4, '/');
    put(static_cast<unsigned>(c_ymd.month()), 2, '/');
    put(static_cast<unsigned>(c_ymd.day()), 2, ' ');
    put(nSecondOfDay / 3600, 2, ':');
    put(nSecondOfDay / 60 % 60, 2, ':');
    put(nSecondOfDay % 60, 2, '\0');
    return std::string(sz, static_cast<size_t>(p - 1 - sz));
}

void AppendVisible(std::string* pstrOut, std::string_view c_svText) {
    AppendVisibleText(pstrOut, c_svText);
}

std::wstring VisibleText(std::wstring_view c_svText) {
    std::wstring str;
    AppendVisibleText(&str, c_svText);
    return str;
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
