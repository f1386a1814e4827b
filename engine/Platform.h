// The small POSIX layer under the engine: paths, text conversion for the archiver plug-ins,
// the executable's folder, time and plug-in loading. Nothing here throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace shelf {

// 0 nothing there, 1 a file (anything that is not a folder), 2 a folder. A relative path is
// completed with the current directory first.
int32_t CheckPathType(const std::wstring& c_strPath);

// Text that crosses to an archiver plug-in is UTF-8 whatever the process locale. ToWide never
// fails: an invalid byte becomes U+FFFD.
std::string ToAnsi(const std::wstring& c_strWide);
std::wstring ToWide(const char* c_pszAnsi);
std::wstring ToWide(const std::string& c_strAnsi);
// Appends the decoded text to *pstrWide; reuses its storage (the per-entry path).
void AppendWide(std::wstring* pstrWide, const char* c_pszAnsi, size_t c_nLength);

// Text that a message or a line of output can show: each control character (below U+0020, and
// U+007F) is written out as \xHH, so that a name cannot break a line or drive a terminal.
void AppendVisible(std::string* pstrOut, std::string_view c_svText);
std::wstring VisibleText(std::wstring_view c_svText);

// Folder of the running executable, without the final "/"; its length, or 0 when it cannot be
// determined or does not fit (then nothing is written).
int32_t GetModuleFolder(wchar_t* pszBuffer, int32_t c_nCapacity);

// A name folder + "/" + prefix + 8 lowercase hex digits + extension under which nothing exists
// yet (not even a dangling link); 1, or 0 when the capacity is smaller than the parts + 10. The
// digits come from the UTC time; when the clock yields a taken name again, the number is stepped
// on instead of waiting for the clock (which can take a minute when the minute field is 0).
int32_t MakeUniqueFileName(const wchar_t* c_pszFolder, const wchar_t* c_pszPrefix,
                           const wchar_t* c_pszExtension, wchar_t* pszBuffer, int32_t c_nCapacity);

struct SYSTEMTIME {
    uint16_t wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};
void GetSystemTime(SYSTEMTIME* pstTime);  // now, in UTC
// Replaces the clock behind GetSystemTime (tests); null restores the system clock.
using PFN_SYSTEMTIME_SOURCE = void (*)(SYSTEMTIME* pstTime);
void SetSystemTimeSource(PFN_SYSTEMTIME_SOURCE pfnSource);

// The system temporary folder without a final "/": $TMPDIR when set, else /tmp.
std::wstring GetTempFolder();

// DOS date and time fields to 100-ns units since 1601-01-01, with no time-zone change. False
// (and nothing written) for a month, day, hour, minute or seconds field out of range.
bool DosDateTimeToFileTime(uint16_t c_nDosDate, uint16_t c_nDosTime, uint64_t* pnFileTime);
// 100-ns units since 1601-01-01 as "yyyy/MM/dd HH:mm:ss", with no time-zone change (a year past
// 9999 takes five digits); "??\?? ??:??:??" for an unknown time (the high half 0xFFFFFFFF, as a
// failed DosDateTimeToFileTime leaves it).
std::string FileTimeText(uint64_t c_nFileTime);

// An installed copy keeps its archiver plug-ins in a private library folder at a fixed place
// relative to the executable's folder (bin/../lib/kestrel, as the install rules lay it out); a
// build folder or a portable copy keeps them beside the executable. The copy is installed when
// that private folder exists. An installed copy writes nothing beside its executable.
std::wstring GetPrivateLibraryFolder();  // without a final "/"; empty when unknown
bool IsInstalledCopy();                  // decided once per process

// Loads an archiver plug-in by its Windows file name: "X.dll" is looked for as "X.so" in
// $KESTREL_ARCHIVER_DIR when set, otherwise in the private library folder of an installed copy
// or beside the executable of any other, then through dlopen's own search. Null when it cannot
// be loaded.
void* LoadArchiverLibrary(const std::wstring& c_strDllName);
void* GetArchiverFunction(void* hModule, const char* c_pszName);
void FreeArchiverLibrary(void* hModule);

}  // namespace shelf
