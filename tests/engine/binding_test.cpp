// The archiver binding against the fake plug-in: open on demand, enumeration and conversion,
// progress, sizes, missing functions, and extraction through the response file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "CArchive_Drivers.h"
#include "Platform.h"
#include "engine_test_support.h"

using namespace shelf;
using namespace shelf::NArchive;
using namespace kestrel_test;

namespace {

// A driver whose response file goes where the test says.
template <class DRIVER>
class TestDriver : public DRIVER {
public:
    std::vector<std::wstring> vstrResponseFolder;

protected:
    std::vector<std::wstring> ResponseFolders() const override {
        return vstrResponseFolder.empty() ? DRIVER::ResponseFolders() : vstrResponseFolder;
    }
};

class Binding : public ::testing::Test {
protected:
    Binding()
        : m_envLog("KESTREL_FAKE_LOG", m_dir / "log"),
          m_envCopy("KESTREL_FAKE_RESPONSE_COPY", m_dir / "response-copy") {
        WriteFile(m_dir / "good.lzh", "FAKEARC and then some");
        WriteFile(m_dir / "bad.lzh", "not an archive");
        std::filesystem::create_directory(m_dir / "responses");
    }

    template <class DRIVER>
    void Load(DRIVER* pc, const char* c_pszVariant) {
        ASSERT_EQ(pc->LoadArchiver(ToWide(FakePath(c_pszVariant))), 1);
        pc->vstrResponseFolder = {ToWide(m_dir / "responses")};
    }

    std::wstring Good() const { return ToWide(m_dir / "good.lzh"); }
    std::vector<std::string> Log() const { return ReadLines(m_dir / "log"); }
    size_t CountLog(const std::string& c_strPrefix) const {
        const auto v = Log();
        return std::count_if(v.begin(), v.end(), [&](const std::string& s) {
            return s.compare(0, c_strPrefix.size(), c_strPrefix) == 0;
        });
    }
    std::string LogLine(const std::string& c_strPrefix) const {
        for (const std::string& s : Log()) {
            if (s.compare(0, c_strPrefix.size(), c_strPrefix) == 0)
                return s.substr(c_strPrefix.size());
        }
        return "(none)";
    }
    std::vector<ARCHIVE_FILE> ListAll(CArchive* pc) {
        std::vector<ARCHIVE_FILE> v;
        ARCHIVE_FILE st;
        for (CA_RESULT e = pc->FindFirst(L"*", &st); e == CA_OK; e = pc->FindNext(&st)) {
            v.push_back(st);
        }
        return v;
    }

    TempDir m_dir;
    ScopedEnv m_envLog;
    ScopedEnv m_envCopy;
};

FILETIME Time(uint64_t n) {
    return FILETIME{static_cast<uint32_t>(n), static_cast<uint32_t>(n >> 32)};
}
const FILETIME kFakeTime = Time((1714566896ull + 11644473600ull) * 10000000ull);

}  // namespace

TEST_F(Binding, CreateOfAMissingFileRemembersItAndOpensOnDemand) {
    TestDriver<CArchive_Lha_Unlha32> c;
    Load(&c, "fake_full");
    const std::wstring strMissing = ToWide(m_dir / "missing.lzh");
    EXPECT_EQ(c.Create(nullptr, strMissing), CA_NEWFILE);
    EXPECT_EQ(CountLog("open "), 0u);
    ARCHIVE_FILE st;
    EXPECT_EQ(c.FindFirst(L"*", &st), CA_OPEN_FAILED);
    EXPECT_EQ(LogLine("open "), m_dir / "missing.lzh 0x400000");
    // A second missing name does not replace the first.
    EXPECT_EQ(c.Create(nullptr, ToWide(m_dir / "other.lzh")), CA_NEWFILE);
    EXPECT_EQ(c.FindNext(&st), CA_OPEN_FAILED);
    EXPECT_EQ(Log().back(), "open " + m_dir / "missing.lzh 0x400000");

    // Close forgets the name even without a handle, and reports 0.
    EXPECT_EQ(c.Close(), 0);
    EXPECT_EQ(c.Create(nullptr, ToWide(m_dir / "other.lzh")), CA_NEWFILE);
    EXPECT_EQ(c.FindFirst(L"*", &st), CA_OPEN_FAILED);
    EXPECT_EQ(Log().back(), "open " + m_dir / "other.lzh 0x400000");
}

TEST_F(Binding, AFileTheLibraryRejectsIsNotRemembered) {
    TestDriver<CArchive_Lha_Unlha32> c;
    Load(&c, "fake_full");
    EXPECT_EQ(c.Create(nullptr, ToWide(m_dir / "bad.lzh")), CA_OPEN_FAILED);
    EXPECT_EQ(c.Create(nullptr, Good()), CA_OPENED);
    EXPECT_EQ(c.Extract({L"/dir\\a.txt"}, L"/out", EXT_MODE(0x92)), 1);
    EXPECT_EQ(LogLine("cmd "), "e -x1 -c1 -m1 -a2 \"" + m_dir / "good.lzh" + "\" \"/out\" @\"" +
                                   LogLine("response-path ") + "\"");
    EXPECT_EQ(c.Close(), 0);  // Extract released the handle already
}

TEST_F(Binding, EntriesAreConverted) {
    TestDriver<CArchive_Lha_Unlha32> c;
    Load(&c, "fake_full");
    ASSERT_EQ(c.Open(nullptr, Good()), CA_OPENED);
    const auto v = ListAll(&c);
    ASSERT_EQ(v.size(), 6u);
    EXPECT_EQ(LogLine("findfirst "), "*");

    EXPECT_EQ(v[0].strFullPath, L"/dir\\a.txt");  // separators as the library reports them
    EXPECT_EQ(v[0].nOriginalSize, 100);
    EXPECT_EQ(v[0].nCompressedSize, 50);
    EXPECT_EQ(v[0].nFlag, 0x10u);
    EXPECT_EQ(v[0].nOSType, 7u);
    EXPECT_DOUBLE_EQ(v[0].dRatio, 0.5);
    EXPECT_EQ(v[0].ftUpdate, kFakeTime);

    EXPECT_EQ(v[1].strFullPath, L"/日本語/ファイル.txt");
    EXPECT_EQ(v[1].strFullPath.size(), 13u);

    // Past 4 GiB: the record holds only the low halves, the library the real sizes.
    EXPECT_EQ(v[2].nOriginalSize, 0x140000005LL);
    EXPECT_EQ(v[2].nCompressedSize, 0x100000003LL);

    EXPECT_EQ(v[3].ftUpdate, Time(0xFFFFFFFFFFFFFFFFull));  // month 13
    EXPECT_DOUBLE_EQ(v[3].dRatio, 0.0);

    // Names the record cut come whole from GetFileName.
    std::wstring strLong = L"/long/x";
    for (int i = 0; i < 200; ++i) strLong += L'あ';
    EXPECT_EQ(v[4].strFullPath, strLong);
    EXPECT_EQ(v[5].strFullPath, L"/e/" + std::wstring(504, L'e') + L".txt");

    // At the end the caller's record is left as it was.
    ARCHIVE_FILE st = v[0];
    EXPECT_EQ(c.FindNext(&st), CA_ERROR);
    EXPECT_EQ(st.strFullPath, L"/dir\\a.txt");
    EXPECT_EQ(c.Close(), 1);
}

TEST_F(Binding, NamesLongerThanAPathAreMarked) {
    TestDriver<CArchive_Lha_Unlha32> c;
    Load(&c, "fake_full");
    ScopedEnv all("KESTREL_FAKE_COUNT", "7");
    ASSERT_EQ(c.Open(nullptr, Good()), CA_OPENED);
    const auto v = ListAll(&c);
    ASSERT_EQ(v.size(), 7u);
    // 6010 bytes: the record's 512 and the mark, refused for extraction like a cut name.
    EXPECT_EQ(v[6].strFullPath.size(), 1u + 512 + 1);
    EXPECT_EQ(v[6].strFullPath.substr(0, 9), L"/deep/d/d");
    EXPECT_EQ(v[6].strFullPath.back(), L'\u2026');
    EXPECT_EQ(c.Extract({v[6].strFullPath}, L"/out", EXT_MODE(0x92)), -1);
    EXPECT_EQ(v[4].strFullPath.back(), L'あ');  // 606 bytes come whole
}

TEST_F(Binding, SevenZipNamesUseSlashes) {
    TestDriver<CArchive_7Zip_7Zip32> c;
    Load(&c, "fake_full");
    ASSERT_EQ(c.Open(nullptr, Good()), CA_OPENED);
    ARCHIVE_FILE st;
    ASSERT_EQ(c.FindFirst(L"*", &st), CA_OK);
    EXPECT_EQ(st.strFullPath, L"/dir/a.txt");
}

TEST_F(Binding, ThirtyTwoBitLibrary) {
    TestDriver<CArchive_Zip_UnZip32> c;
    Load(&c, "fake_size32");
    ASSERT_EQ(c.Open(nullptr, Good()), CA_OPENED);
    const auto v = ListAll(&c);
    ASSERT_EQ(v.size(), 6u);
    EXPECT_EQ(v[2].nOriginalSize, 5);  // nothing better to be had
    EXPECT_EQ(v[2].nCompressedSize, 3);
    // Without GetFileName a name that may have been cut is marked, never passed off as whole.
    EXPECT_EQ(v[4].strFullPath.back(), L'\u2026');

    EXPECT_EQ(c.GetArchiveFileSize(), 0);  // no GetArcFileSizeEx
    EXPECT_EQ(c.FindProgress(), 250);      // 500 of 2000 through the 32-bit pair
    ScopedEnv read("KESTREL_FAKE_READ", "1999");
    EXPECT_EQ(c.FindProgress(), 999);  // truncated, not rounded
    int64_t ll = 77;
    EXPECT_EQ(c.GetArcFileSizeEx(&ll), 0);
    EXPECT_EQ(ll, 77);
    EXPECT_EQ(c.GetArcFileSize(), 2000u);
}

TEST_F(Binding, ProgressAndSizes) {
    TestDriver<CArchive_Lha_Unlha32> c;
    Load(&c, "fake_full");
    ASSERT_EQ(c.Open(nullptr, Good()), CA_OPENED);
    EXPECT_EQ(c.FindProgress(), 250);
    EXPECT_EQ(c.GetArchiveFileSize(), 2000);
    {
        ScopedEnv read("KESTREL_FAKE_READ", "1999");
        EXPECT_EQ(c.FindProgress(), 999);
    }
    {
        ScopedEnv total("KESTREL_FAKE_TOTAL", "0x300000000");  // past 32 bits
        ScopedEnv read("KESTREL_FAKE_READ", "0x180000000");
        EXPECT_EQ(c.FindProgress(), 500);
        EXPECT_EQ(c.GetArchiveFileSize(), 0x300000000LL);
    }
    {
        ScopedEnv total("KESTREL_FAKE_TOTAL", "0");
        EXPECT_EQ(c.FindProgress(), 0);
    }
    {
        ScopedEnv fail("KESTREL_FAKE_SIZE_FAIL", "1");
        EXPECT_EQ(c.FindProgress(), 0);
        EXPECT_EQ(c.GetArchiveFileSize(), 0);
    }
    {
        ScopedEnv read("KESTREL_FAKE_READ", "2500");  // a library that reads past its own size
        EXPECT_EQ(c.FindProgress(), 1000);
    }
    int64_t ll = 0;
    EXPECT_EQ(c.GetArcOriginalSizeEx(&ll), 1);
    EXPECT_EQ(ll, 7000);
    EXPECT_EQ(c.GetArcCompressedSizeEx(&ll), 1);
    EXPECT_EQ(ll, 3000);
    EXPECT_EQ(c.GetOriginalSizeEx(&ll), 0);  // no entry found yet
}

TEST_F(Binding, NoSizeFunctions) {
    TestDriver<CArchive_Lha_Unlha32> c;
    Load(&c, "fake_nosize");
    ASSERT_EQ(c.Open(nullptr, Good()), CA_OPENED);
    EXPECT_EQ(c.FindProgress(), 0);
    EXPECT_EQ(c.GetArchiveFileSize(), 0);
    EXPECT_EQ(c.GetArcReadSize(), 0u);
    ASSERT_EQ(ListAll(&c).size(), 6u);
}

TEST_F(Binding, FindEndReleasesTheHandleAndKeepsTheName) {
    TestDriver<CArchive_Lha_Unlha32> c;
    Load(&c, "fake_full");
    EXPECT_EQ(c.FindEnd(), 0);  // nothing held
    ASSERT_EQ(c.Create(nullptr, Good()), CA_OPENED);
    ARCHIVE_FILE st;
    ASSERT_EQ(c.FindFirst(L"*", &st), CA_OK);
    ASSERT_EQ(c.FindNext(&st), CA_OK);
    EXPECT_EQ(c.FindEnd(), 1);
    EXPECT_EQ(c.FindEnd(), 0);
    EXPECT_EQ(CountLog("open "), 1u);
    // The next call reopens; a fresh handle starts from the first entry.
    ASSERT_EQ(c.FindNext(&st), CA_OK);
    EXPECT_EQ(CountLog("open "), 2u);
    EXPECT_EQ(st.strFullPath, L"/dir\\a.txt");

    ScopedEnv closeFails("KESTREL_FAKE_CLOSE_RESULT", "1");
    EXPECT_EQ(c.FindEnd(), 0);  // the library's failure, and the handle is gone
    EXPECT_EQ(c.FindEnd(), 0);
    EXPECT_EQ(CountLog("close"), 2u);
}

TEST_F(Binding, AFailingEntryEndsTheEnumeration) {
    TestDriver<CArchive_Lha_Unlha32> c;
    Load(&c, "fake_full");
    ScopedEnv failAt("KESTREL_FAKE_FAIL_AT", "2");
    ASSERT_EQ(c.Open(nullptr, Good()), CA_OPENED);
    EXPECT_EQ(ListAll(&c).size(), 2u);
}

TEST_F(Binding, MissingFunctionsFailWithTheirCodes) {
    TestDriver<CArchive_Lha_Unlha32> c;
    Load(&c, "fake_openonly");
    ASSERT_EQ(c.Create(nullptr, Good()), CA_OPENED);
    ARCHIVE_FILE st;
    EXPECT_EQ(c.FindFirst(L"*", &st), CA_ERROR);
    EXPECT_EQ(c.FindNext(&st), CA_ERROR);
    EXPECT_EQ(c.FindProgress(), 0);
    EXPECT_EQ(c.GetArchiveFileSize(), 0);
    // No command entry point: -1, after the response file was written and deleted.
    EXPECT_EQ(c.Extract({L"/a.txt"}, L"/out", EXT_MODE(0x92)), -1);
    EXPECT_TRUE(FilesIn(m_dir / "responses").empty());
    // No CloseArchive: the handle is dropped and the close reports 0.
    EXPECT_EQ(c.Open(nullptr, Good()), CA_OPENED);
    EXPECT_EQ(c.FindEnd(), 0);
    EXPECT_EQ(c.FindEnd(), 0);
    EXPECT_EQ(c.Close(), 0);
}

TEST_F(Binding, WithoutALibraryNothingIsCalled) {
    TestDriver<CArchive_Lha_Unlha32> c;
    EXPECT_EQ(c.LoadArchiver(ToWide(m_dir / "nonexistent.so")), 0);
    EXPECT_EQ(c.Open(nullptr, Good()), CA_OPEN_FAILED);
    EXPECT_EQ(c.Create(nullptr, Good()), CA_OPEN_FAILED);
    ARCHIVE_FILE st;
    EXPECT_EQ(c.FindFirst(L"*", &st), CA_OPEN_FAILED);
    EXPECT_EQ(c.Close(), 0);

    // A released library leaves no entry point behind.
    Load(&c, "fake_full");
    ASSERT_EQ(c.Open(nullptr, Good()), CA_OPENED);
    c.ClassUninitialize();
    EXPECT_EQ(c.FindFirst(L"*", &st), CA_OPEN_FAILED);
    EXPECT_EQ(c.FindProgress(), 0);
    c.vstrResponseFolder = {ToWide(m_dir / "responses")};
    EXPECT_EQ(c.Extract({L"/a.txt"}, L"/out", EXT_MODE(0x92)), -1);

    ScopedEnv dir("KESTREL_ARCHIVER_DIR", m_dir.Path());
    CArchive_Lha_Unlha32 cNotThere;
    EXPECT_EQ(cNotThere.ClassInitialize(), 0);
}

TEST_F(Binding, ExtractWritesTheResponseFileAndTheCommandLine) {
    TestDriver<CArchive_Lha_Unlha32> c;
    Load(&c, "fake_full");
    ASSERT_EQ(c.Create(nullptr, Good()), CA_OPENED);
    const std::vector<std::wstring> v = {L"/dir/a.txt", L"/日本語/ファイル.txt", L"/dir/a.txt"};
    EXPECT_EQ(c.Extract(v, ToWide(m_dir / "out dir"), EXT_MODE(0x50)), 3);

    const std::string strResponse = LogLine("response-path ");
    const std::string strFolder = m_dir / "responses/";
    ASSERT_EQ(strResponse.size(), strFolder.size() + 12 + 8 + 4);
    EXPECT_EQ(strResponse.substr(0, strFolder.size() + 12), strFolder + "kr_response_");
    EXPECT_EQ(strResponse.find_first_not_of("0123456789abcdef", strFolder.size() + 12),
              strFolder.size() + 20);
    EXPECT_EQ(strResponse.substr(strFolder.size() + 20), ".tmp");
    EXPECT_EQ(LogLine("response-mode "), "600 file");
    EXPECT_EQ(LogLine("cmd "), "e -x1 -m0 -c1 -m0 -a2 \"" + m_dir / "good.lzh" + "\" \"" +
                                   m_dir / "out dir" + "\" @\"" + strResponse + "\"");
    EXPECT_EQ(ReadFile(m_dir / "response-copy"),
              "\"dir/a.txt\" -p2\r\n\"日本語/ファイル.txt\" -p2\r\n\"dir/a.txt\" -p2\r\n");
    EXPECT_TRUE(FilesIn(m_dir / "responses").empty());

    // The handle was released before the command ran; the next listing reopens.
    const auto vLog = Log();
    const auto itCmd = std::find_if(vLog.begin(), vLog.end(),
                                    [](const std::string& s) { return s.rfind("cmd ", 0) == 0; });
    ASSERT_NE(itCmd, vLog.begin());
    EXPECT_EQ(*(itCmd - 1), "close");
    ARCHIVE_FILE st;
    EXPECT_EQ(c.FindFirst(L"*", &st), CA_OK);
    EXPECT_EQ(CountLog("open "), 2u);
}

TEST_F(Binding, ExtractResults) {
    TestDriver<CArchive_Zip_UnZip32> c;
    Load(&c, "fake_full");
    ASSERT_EQ(c.Create(nullptr, Good()), CA_OPENED);

    // An empty request still runs the command with an empty response file.
    EXPECT_EQ(c.Extract({}, L"/out", EXT_MODE(0xA2)), 0);
    EXPECT_EQ(ReadFile(m_dir / "response-copy"), "");
    EXPECT_EQ(CountLog("cmd "), 1u);

    {
        ScopedEnv fails("KESTREL_FAKE_CMD_RESULT", "1");
        EXPECT_EQ(c.Extract({L"/a.txt"}, L"/out", EXT_MODE(0xA2)), -1);
        EXPECT_TRUE(FilesIn(m_dir / "responses").empty());  // deleted all the same
    }

    // No folder takes the response file: -2 and no command.
    c.vstrResponseFolder = {ToWide(m_dir / "no/such/folder"), ToWide(m_dir / "nor/this")};
    EXPECT_EQ(c.Extract({L"/a.txt"}, L"/out", EXT_MODE(0xA2)), -2);
    EXPECT_EQ(CountLog("cmd "), 2u);

    // A folder that cannot take it is passed over for the next one.
    c.vstrResponseFolder = {ToWide(m_dir / "no/such/folder"), ToWide(m_dir / "responses")};
    EXPECT_EQ(c.Extract({L"/a.txt"}, L"/out", EXT_MODE(0xA2)), 1);
    EXPECT_EQ(Log()[Log().size() - 2].substr(0, 14 + (m_dir / "responses").size()),
              "response-path " + m_dir / "responses");
}

TEST_F(Binding, ResponseFileIsCreatedExclusively) {
    struct Clock {
        Clock() { SetSystemTimeSource(&Fixed); }
        ~Clock() { SetSystemTimeSource(nullptr); }
        static void Fixed(SYSTEMTIME* p) { *p = SYSTEMTIME{2007, 1, 0, 14, 12, 34, 56, 789}; }
    } clock;
    TestDriver<CArchive_Lha_Unlha32> c;
    Load(&c, "fake_full");
    ASSERT_EQ(c.Create(nullptr, Good()), CA_OPENED);

    // Two extractions in the same millisecond use the same name; the first was deleted.
    EXPECT_EQ(c.Extract({L"/a.txt"}, L"/out", EXT_MODE(0x92)), 1);
    EXPECT_EQ(LogLine("response-path "), m_dir / "responses/kr_response_511fe9b7.tmp");
    EXPECT_EQ(c.Extract({L"/b.txt"}, L"/out", EXT_MODE(0x92)), 1);
    EXPECT_EQ(CountLog("response-path " + m_dir / "responses/kr_response_511fe9b7.tmp"), 2u);

    // A link planted under the name is neither followed nor truncated nor removed.
    WriteFile(m_dir / "victim", "precious");
    std::filesystem::create_symlink(m_dir / "victim", m_dir / "responses/kr_response_511fe9b7.tmp");
    EXPECT_EQ(c.Extract({L"/c.txt"}, L"/out", EXT_MODE(0x92)), 1);
    EXPECT_EQ(Log()[Log().size() - 2],
              "response-path " + m_dir / "responses/kr_response_511fe9b8.tmp");
    EXPECT_EQ(ReadFile(m_dir / "victim"), "precious");
    EXPECT_EQ(FilesIn(m_dir / "responses"), std::vector<std::string>{"kr_response_511fe9b7.tmp"});
}

TEST_F(Binding, NamesThatCannotBeTrustedAreNeverExtracted) {
    TestDriver<CArchive_Lha_Unlha32> c;
    Load(&c, "fake_nofilename");
    ASSERT_EQ(c.Create(nullptr, Good()), CA_OPENED);
    const auto v = ListAll(&c);
    ASSERT_EQ(v.size(), 6u);
    // The record's 510 bytes, then the mark: listed visibly as cut.
    std::wstring strCut = L"/long/x";
    for (int i = 0; i < 168; ++i) strCut += L'あ';
    EXPECT_EQ(v[4].strFullPath, strCut + L'\u2026');
    // A whole name of that length cannot be told from a cut one.
    EXPECT_EQ(v[5].strFullPath, L"/e/" + std::wstring(504, L'e') + L".txt\u2026");
    EXPECT_EQ(v[2].nOriginalSize, 0x140000005LL);  // this library has the entry sizes

    EXPECT_EQ(c.Extract({v[5].strFullPath}, L"/out", EXT_MODE(0x92)), -1);
    // A line break cannot be carried by a response line.
    EXPECT_EQ(c.Extract({L"/a\nb.txt"}, L"/out", EXT_MODE(0x92)), -1);
    EXPECT_EQ(c.Extract({L"/a\rb.txt"}, L"/out", EXT_MODE(0x92)), -1);
    EXPECT_EQ(c.GetLastMessage(), L"取り出せない名前の項目があります:\n/a\\x0Db.txt");
    EXPECT_EQ(CountLog("cmd "), 0u);
    // The others of the same request are still handed over; the request fails all the same.
    EXPECT_EQ(c.Extract({L"/dir\\a.txt", v[4].strFullPath, L"/a\nb.txt"}, L"/out", EXT_MODE(0x92)),
              -1);
    EXPECT_EQ(CountLog("cmd "), 1u);
    EXPECT_EQ(ReadFile(m_dir / "response-copy"), "\"dir\\a.txt\" -p2\r\n");
    EXPECT_EQ(c.GetLastMessage(),
              L"取り出せない名前の項目があります:\n" + v[4].strFullPath + L"\n/a\\x0Ab.txt");
    EXPECT_EQ(c.Extract({L"/dir\\a.txt", L"/bad-date.txt"}, L"/out", EXT_MODE(0x92)), 2);
}
