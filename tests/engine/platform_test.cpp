#include "Platform.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include "engine_test_support.h"

using namespace shelf;
using namespace kestrel_test;

namespace {

SYSTEMTIME g_stFixedTime;
void FixedClock(SYSTEMTIME* pst) {
    *pst = g_stFixedTime;
}

class ScopedClock {
public:
    ScopedClock(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi, uint16_t s,
                uint16_t ms) {
        g_stFixedTime = SYSTEMTIME{y, mo, 0, d, h, mi, s, ms};
        SetSystemTimeSource(&FixedClock);
    }
    ~ScopedClock() { SetSystemTimeSource(nullptr); }
};

uint16_t DosDate(unsigned y, unsigned m, unsigned d) {
    return static_cast<uint16_t>(((y - 1980) << 9) | (m << 5) | d);
}
uint16_t DosTime(unsigned h, unsigned m, unsigned s2) {
    return static_cast<uint16_t>((h << 11) | (m << 5) | s2);
}

}  // namespace

TEST(Text, Utf8RoundTripAndReplacement) {
    EXPECT_EQ(ToAnsi(L"docs/readme.txt"), "docs/readme.txt");
    EXPECT_EQ(ToAnsi(L"文書/報告書.txt"),
              "\xE6\x96\x87\xE6\x9B\xB8/\xE5\xA0\xB1\xE5\x91\x8A\xE6\x9B\xB8.txt");
    EXPECT_EQ(ToWide(ToAnsi(L"é€😀ｱ")), L"é€😀ｱ");
    // Double-byte text converts without trailing NULs.
    const std::wstring strJapanese = ToWide("日本語");
    EXPECT_EQ(strJapanese.size(), 3u);
    EXPECT_EQ(strJapanese, L"日本語");

    // Every invalid byte is one U+FFFD; what follows decodes normally.
    EXPECT_EQ(ToWide("a\x80"
                     "b"),
              L"a\uFFFDb");
    EXPECT_EQ(ToWide("\xE3\x81"), L"\uFFFD\uFFFD");            // cut short
    EXPECT_EQ(ToWide("\xC0\xAF"), L"\uFFFD\uFFFD");            // overlong "/"
    EXPECT_EQ(ToWide("\xED\xA0\x80"), L"\uFFFD\uFFFD\uFFFD");  // a surrogate
    EXPECT_EQ(ToWide("\xF5\x80\x80\x80"), L"\uFFFD\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(ToWide("\xE3\x81"
                     "a"),
              L"\uFFFD\uFFFDa");
    EXPECT_EQ(ToWide(std::string("ab\0cd", 5)), L"ab");  // up to the first NUL
    EXPECT_EQ(ToWide(nullptr), L"");

    // Wide values that are no characters become U+FFFD too; a NUL ends the text.
    EXPECT_EQ(ToAnsi(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xEF\xBF\xBD");
    EXPECT_EQ(ToAnsi(std::wstring(1, static_cast<wchar_t>(0x110000))), "\xEF\xBF\xBD");
    EXPECT_EQ(ToAnsi(std::wstring(L"ab\0cd", 5)), "ab");

    std::wstring str = L"/";
    AppendWide(&str, "dir/ファイル", std::strlen("dir/ファイル"));
    EXPECT_EQ(str, L"/dir/ファイル");
}

TEST(Paths, CheckPathTypeUsesTheExactPath) {
    TempDir dir;
    WriteFile(dir / "a.txt", "x");
    ASSERT_EQ(mkdir((dir / "sub").c_str(), 0700), 0);
    ASSERT_EQ(symlink((dir / "nowhere").c_str(), (dir / "dangling").c_str()), 0);

    EXPECT_EQ(CheckPathType(ToWide(dir / "a.txt")), 1);
    EXPECT_EQ(CheckPathType(ToWide(dir / "sub")), 2);
    EXPECT_EQ(CheckPathType(ToWide(dir / "sub/")), 2);
    EXPECT_EQ(CheckPathType(ToWide(dir / "missing")), 0);
    EXPECT_EQ(CheckPathType(ToWide(dir / "a*")), 0);  // no pattern matching
    EXPECT_EQ(CheckPathType(ToWide(dir / "dangling")), 0);
    EXPECT_EQ(CheckPathType(L"/"), 2);
    EXPECT_EQ(CheckPathType(L""), 0);
    EXPECT_EQ(CheckPathType(ToWide(dir / "a.txt") + std::wstring(1, L'\0') + L"x"), 0);

    // Relative paths are taken from the current directory.
    char szOld[PATH_MAX];
    ASSERT_NE(getcwd(szOld, sizeof szOld), nullptr);
    ASSERT_EQ(chdir(dir.Path().c_str()), 0);
    EXPECT_EQ(CheckPathType(L"a.txt"), 1);
    EXPECT_EQ(CheckPathType(L"sub"), 2);
    EXPECT_EQ(CheckPathType(L"b.txt"), 0);
    ASSERT_EQ(chdir(szOld), 0);
}

TEST(Paths, ModuleFolderAndTemporaryFolder) {
    const std::string strExe = fs::read_symlink("/proc/self/exe").string();
    const std::wstring strExpected = ToWide(strExe.substr(0, strExe.rfind('/')));
    const int32_t nLength = static_cast<int32_t>(strExpected.size());

    wchar_t szBuffer[4096];
    EXPECT_EQ(GetModuleFolder(szBuffer, 4096), nLength);
    EXPECT_EQ(std::wstring(szBuffer), strExpected);

    // Exactly enough room for the folder and its terminator; one less writes nothing.
    std::wmemset(szBuffer, L'#', 4096);
    EXPECT_EQ(GetModuleFolder(szBuffer, nLength + 1), nLength);
    EXPECT_EQ(std::wstring(szBuffer), strExpected);
    std::wmemset(szBuffer, L'#', 4096);
    EXPECT_EQ(GetModuleFolder(szBuffer, nLength), 0);
    EXPECT_EQ(szBuffer[0], L'#');

    {
        ScopedEnv env("TMPDIR", "/var/tmp//");
        EXPECT_EQ(GetTempFolder(), L"/var/tmp");
    }
    {
        ScopedEnv env("TMPDIR", std::nullopt);
        EXPECT_EQ(GetTempFolder(), L"/tmp");
    }
    {
        ScopedEnv env("TMPDIR", "relative");  // not a usable folder
        EXPECT_EQ(GetTempFolder(), L"/tmp");
    }
}

TEST(Time, UniqueNameFollowsTheClockFormula) {
    TempDir dir;
    wchar_t szName[1024];
    {
        ScopedClock clock(2007, 1, 14, 12, 34, 56, 789);
        ASSERT_EQ(MakeUniqueFileName(dir.Wide().c_str(), L"kr_response_", L".tmp", szName, 1024),
                  1);
        EXPECT_EQ(std::wstring(szName), dir.Wide() + L"/kr_response_511fe9b7.tmp");
        // Nothing was created: a second call in the same millisecond gives the same name.
        ASSERT_EQ(MakeUniqueFileName(dir.Wide().c_str(), L"kr_response_", L".tmp", szName, 1024),
                  1);
        EXPECT_EQ(std::wstring(szName), dir.Wide() + L"/kr_response_511fe9b7.tmp");
    }
    {
        ScopedClock clock(2007, 1, 14, 12, 0, 56, 789);  // a zero factor leaves the year
        ASSERT_EQ(MakeUniqueFileName(dir.Wide().c_str(), L"kr_response_", L".tmp", szName, 1024),
                  1);
        EXPECT_EQ(std::wstring(szName), dir.Wide() + L"/kr_response_000007d7.tmp");
    }
}

TEST(Time, TakenNamesAreSteppedOverWithoutWaiting) {
    TempDir dir;
    ScopedClock clock(2007, 1, 14, 12, 34, 56, 789);  // the clock never moves on
    WriteFile(dir / "kr_response_511fe9b7.tmp", "");
    ASSERT_EQ(symlink("/nonexistent", (dir / "kr_response_511fe9b8.tmp").c_str()), 0);
    ASSERT_EQ(mkdir((dir / "kr_response_511fe9b9.tmp").c_str(), 0700), 0);
    wchar_t szName[1024];
    ASSERT_EQ(MakeUniqueFileName(dir.Wide().c_str(), L"kr_response_", L".tmp", szName, 1024), 1);
    EXPECT_EQ(std::wstring(szName), dir.Wide() + L"/kr_response_511fe9ba.tmp");
}

TEST(Time, UniqueNameNeedsRoomForEveryPart) {
    ScopedClock clock(2007, 1, 14, 12, 34, 56, 789);
    const std::wstring strFolder = L"/nonexistent-kestrel";  // 20 characters
    const int32_t nNeeded = 20 + 3 + 4 + 10;                 // prefix "kr_", ".tmp"
    wchar_t szName[64];
    std::wmemset(szName, L'#', 64);
    EXPECT_EQ(MakeUniqueFileName(strFolder.c_str(), L"kr_", L".tmp", szName, nNeeded - 1), 0);
    EXPECT_EQ(szName[0], L'#');
    ASSERT_EQ(MakeUniqueFileName(strFolder.c_str(), L"kr_", L".tmp", szName, nNeeded), 1);
    EXPECT_EQ(std::wstring(szName), L"/nonexistent-kestrel/kr_511fe9b7.tmp");
    EXPECT_EQ(std::wcslen(szName) + 1, static_cast<size_t>(nNeeded));  // no room to spare
}

TEST(Time, DosDateAndTimeConvertWithoutTimeZone) {
    uint64_t n = 0;
    ASSERT_TRUE(DosDateTimeToFileTime(DosDate(1980, 1, 1), DosTime(0, 0, 0), &n));
    EXPECT_EQ(n, 119600064000000000ull);
    // 2024-05-01 12:34:56 is 1714566896 seconds after 1970, 11644473600 more after 1601.
    ASSERT_TRUE(DosDateTimeToFileTime(DosDate(2024, 5, 1), DosTime(12, 34, 28), &n));
    EXPECT_EQ(n, (1714566896ull + 11644473600ull) * 10000000ull);
    ASSERT_TRUE(DosDateTimeToFileTime(DosDate(2107, 12, 31), DosTime(23, 59, 29), &n));
    ASSERT_TRUE(DosDateTimeToFileTime(DosDate(2024, 2, 29), DosTime(0, 0, 0), &n));
    ASSERT_TRUE(DosDateTimeToFileTime(DosDate(2000, 2, 29), DosTime(0, 0, 0), &n));

    n = 42;
    EXPECT_FALSE(DosDateTimeToFileTime(0, 0, &n));  // month 0
    EXPECT_EQ(n, 42u);
    EXPECT_FALSE(DosDateTimeToFileTime(DosDate(2024, 13, 1), 0, &n));
    EXPECT_FALSE(DosDateTimeToFileTime(DosDate(2024, 1, 0), 0, &n));
    EXPECT_FALSE(DosDateTimeToFileTime(DosDate(2023, 2, 29), 0, &n));
    EXPECT_FALSE(DosDateTimeToFileTime(DosDate(2100, 2, 29), 0, &n));
    EXPECT_FALSE(DosDateTimeToFileTime(DosDate(2024, 4, 31), 0, &n));
    EXPECT_FALSE(DosDateTimeToFileTime(DosDate(2024, 1, 1), DosTime(24, 0, 0), &n));
    EXPECT_FALSE(DosDateTimeToFileTime(DosDate(2024, 1, 1), DosTime(0, 60, 0), &n));
    EXPECT_FALSE(DosDateTimeToFileTime(DosDate(2024, 1, 1), DosTime(0, 0, 30), &n));
    EXPECT_EQ(n, 42u);
}

TEST(Loader, WindowsNamesAreFoundAsSharedObjects) {
    TempDir dir;
    fs::create_symlink(FakePath("fake_full"), dir / "Unlha32.so");
    ScopedEnv env("KESTREL_ARCHIVER_DIR", dir.Path());

    void* hModule = LoadArchiverLibrary(L"Unlha32.dll");
    ASSERT_NE(hModule, nullptr);
    EXPECT_NE(GetArchiverFunction(hModule, "UnlhaOpenArchive"), nullptr);
    EXPECT_EQ(GetArchiverFunction(hModule, "UnlhaNoSuchFunction"), nullptr);
    FreeArchiverLibrary(hModule);

    hModule = LoadArchiverLibrary(L"Unlha32.DLL");
    EXPECT_NE(hModule, nullptr);
    FreeArchiverLibrary(hModule);

    EXPECT_EQ(LoadArchiverLibrary(L"UnZip32.dll"), nullptr);  // not in the folder, nor anywhere
    EXPECT_EQ(LoadArchiverLibrary(L""), nullptr);

    // A path is loaded as it is.
    hModule = LoadArchiverLibrary(ToWide(FakePath("fake_openonly")));
    ASSERT_NE(hModule, nullptr);
    EXPECT_NE(GetArchiverFunction(hModule, "SevenZipOpenArchive"), nullptr);
    EXPECT_EQ(GetArchiverFunction(hModule, "SevenZipFindFirst"), nullptr);
    FreeArchiverLibrary(hModule);
    EXPECT_EQ(GetArchiverFunction(nullptr, "UnlhaOpenArchive"), nullptr);
}
