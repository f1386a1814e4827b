// The unified archive and the file tree over the three real archiver plug-ins, on the fixture
// archives: names, sizes, dates, extracted bytes, Japanese and hostile names, damaged input.
#include <gtest/gtest.h>

#include <map>

#include "CArchive_FileTree.h"
#include "CArchive_Unify.h"
#include "Platform.h"
#include "engine_test_support.h"
#include "fixture_contents.h"

using namespace shelf;
using namespace shelf::NArchive;
using namespace kestrel_test;
using NODE = CArchive_FileTree::NODE;

namespace {

// The fixtures were made under UTC; formats that store UTC are then shown as made.
// Run by hand, the test still finds the plug-ins and the fixtures of its build.
[[maybe_unused]] const int s_nZone = setenv("TZ", "UTC", 1);
[[maybe_unused]] const int s_nPlugins = setenv("KESTREL_ARCHIVER_DIR", KESTREL_PLUGIN_DIR, 0);
[[maybe_unused]] const int s_nData = setenv("KESTREL_TEST_DATA", KESTREL_DATA_DIR, 0);

const EXT_MODE kKeepPaths = EXT_OVERWRITE | EXT_WITH_PATH | EXT_NO_CONFIRM;
const EXT_MODE kFlat = EXT_OVERWRITE | EXT_WITHOUT_PATH | EXT_NO_CONFIRM;

FILETIME FileTime(int64_t c_nUnixSeconds) {
    const uint64_t n = static_cast<uint64_t>(c_nUnixSeconds + 11644473600LL) * 10000000u;
    return FILETIME{static_cast<uint32_t>(n), static_cast<uint32_t>(n >> 32)};
}
const FILETIME kFixtureTime = FileTime(1714566896);  // 2024-05-01 12:34:56

class OpenArchive {
public:
    explicit OpenArchive(const std::string& c_strName) {
        EXPECT_EQ(m_cUnify.ClassInitialize(), 1);
        m_cUnify.Initialize();
        const std::string strPath = c_strName[0] == '/' ? c_strName : DataPath(c_strName);
        m_eResult = m_cUnify.Create(nullptr, ToWide(strPath));
        m_cTree.Initialize();
        if (m_eResult != CA_OPENED) return;
        ARCHIVE_FILE st;
        for (CA_RESULT e = m_cUnify.FindFirst(L"*", &st); e == CA_OK && m_vstEntry.size() < 10000;
             e = m_cUnify.FindNext(&st)) {
            m_vstEntry.push_back(st);
            EXPECT_EQ(m_cTree.AddNode(st, NODE::NS_NORMAL), 1);
        }
    }
    ~OpenArchive() {
        m_cUnify.Close();
        m_cUnify.Uninitialize();
        m_cUnify.ClassUninitialize();
    }

    CA_RESULT Result() const { return m_eResult; }
    const std::vector<ARCHIVE_FILE>& Entries() const { return m_vstEntry; }
    CArchive_Unify& Unify() { return m_cUnify; }
    CArchive_FileTree& Tree() { return m_cTree; }

    std::vector<std::wstring> Paths() const {
        std::vector<std::wstring> v;
        for (const ARCHIVE_FILE& c_st : m_vstEntry) v.push_back(c_st.strFullPath);
        return v;
    }
    std::vector<std::wstring> FilePaths() const {
        std::vector<std::wstring> v;
        for (const ARCHIVE_FILE& c_st : m_vstEntry) {
            if (c_st.strFullPath.back() != L'/') v.push_back(c_st.strFullPath);
        }
        return v;
    }
    const ARCHIVE_FILE* Entry(const std::wstring& c_strPath) const {
        for (const ARCHIVE_FILE& c_st : m_vstEntry) {
            if (c_st.strFullPath == c_strPath) return &c_st;
        }
        return nullptr;
    }

private:
    CArchive_Unify m_cUnify;
    CArchive_FileTree m_cTree;
    CA_RESULT m_eResult = CA_ERROR;
    std::vector<ARCHIVE_FILE> m_vstEntry;
};

// Every regular file below a folder, by relative path.
std::map<std::string, std::string> ReadTree(const std::string& c_strFolder) {
    std::map<std::string, std::string> m;
    if (!fs::exists(c_strFolder)) return m;
    for (const auto& c_entry : fs::recursive_directory_iterator(c_strFolder)) {
        if (c_entry.is_regular_file()) {
            m[fs::relative(c_entry.path(), c_strFolder).string()] = ReadFile(c_entry.path());
        }
    }
    return m;
}

std::vector<std::wstring> Slashed(const std::map<std::string, std::string>& c_m) {
    std::vector<std::wstring> v;
    for (const auto& [c_strPath, c_] : c_m) v.push_back(L"/" + ToWide(c_strPath));
    return v;
}

std::vector<std::string> ResponseFilesLeft() {
    wchar_t sz[4096];
    std::vector<std::string> v;
    if (GetModuleFolder(sz, 4096) == 0) return v;
    for (const std::string& s : FilesIn(ToAnsi(sz))) {
        if (s.rfind("kr_response_", 0) == 0) v.push_back(s);
    }
    return v;
}

}  // namespace

TEST(EndToEnd, EveryFormatLoads) {
    CArchive_Unify c;
    ASSERT_EQ(c.ClassInitialize(), 1);
    ARCHIVE_PROPERTY st;
    const wchar_t* kTypes[] = {L"LHA", L"ZIP", L"7-ZIP"};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(c.EnumProperty(i, &st), 1);
        EXPECT_EQ(st.strType, kTypes[i]);
        EXPECT_EQ(st.bFind, 1);
        EXPECT_EQ(st.bExtract, 1);
    }
}

TEST(EndToEnd, SampleArchive) {
    OpenArchive c("../../samples/sample.lzh");
    ASSERT_EQ(c.Result(), CA_OPENED);
    EXPECT_EQ(c.Paths(),
              (std::vector<std::wstring>{L"/readme.txt", L"/文書/報告書.txt", L"/文書/画像/表.csv",
                                         L"/文書/画像/logo.bmp", L"/src/main.c", L"/src/lib/util.h",
                                         L"/空.txt"}));
    const auto mFiles = SampleFiles();
    int64_t llTotal = 0;
    for (const ARCHIVE_FILE& c_st : c.Entries()) {
        const std::string strPath = ToAnsi(c_st.strFullPath).substr(1);
        EXPECT_EQ(c_st.nOriginalSize, static_cast<int64_t>(mFiles.at(strPath).size())) << strPath;
        EXPECT_EQ(c_st.ftUpdate, kFixtureTime) << strPath;
        llTotal += c_st.nOriginalSize;
    }
    EXPECT_LT(c.Entry(L"/文書/画像/logo.bmp")->nCompressedSize, 3072);
    EXPECT_NEAR(c.Entry(L"/文書/画像/logo.bmp")->dRatio,
                c.Entry(L"/文書/画像/logo.bmp")->nCompressedSize / 3072.0, 0.001);
    EXPECT_EQ(c.Unify().FindProgress(), 1000);
    EXPECT_EQ(c.Unify().GetArchiveFileSize(),
              static_cast<int64_t>(fs::file_size(DataPath("../../samples/sample.lzh"))));
    ARCHIVE_PROPERTY stProperty;
    c.Unify().Property(&stProperty);
    EXPECT_EQ(stProperty.strName, L"LHA書庫");

    const NODE* pRoot = c.Tree().RootNode();
    EXPECT_EQ(pRoot->nTotalFileCount, 7);
    EXPECT_EQ(pRoot->llTotalOriginalSize, llTotal);
    EXPECT_EQ(pRoot->nFileCount, 2);
    EXPECT_EQ(c.Tree().FindNode(L"/文書/")->nTotalFileCount, 3);

    TempDir dir;
    EXPECT_EQ(c.Unify().Extract(c.FilePaths(), ToWide(dir / "all"), kKeepPaths), 7);
    EXPECT_EQ(ReadTree(dir / "all"), mFiles);
    EXPECT_EQ(
        c.Unify().Extract({L"/文書/画像/表.csv", L"/src/main.c"}, ToWide(dir / "flat"), kFlat), 2);
    EXPECT_EQ(ReadTree(dir / "flat"),
              (std::map<std::string, std::string>{{"表.csv", mFiles.at("文書/画像/表.csv")},
                                                  {"main.c", mFiles.at("src/main.c")}}));
    // Extraction released the handle; listing again reopens the archive.
    ARCHIVE_FILE st;
    ASSERT_EQ(c.Unify().FindFirst(L"*", &st), CA_OK);
    EXPECT_EQ(st.strFullPath, L"/readme.txt");
    EXPECT_TRUE(ResponseFilesLeft().empty());
}

TEST(EndToEnd, JapaneseNamesInEveryFormat) {
    const auto mFiles = JapaneseFiles();
    for (const char* c_pszName : {"lzh_cp932.lzh", "zip_utf8.zip", "7z_basic.7z"}) {
        SCOPED_TRACE(c_pszName);
        OpenArchive c(c_pszName);
        ASSERT_EQ(c.Result(), CA_OPENED);
        std::vector<std::wstring> vstrFiles = c.FilePaths();
        std::sort(vstrFiles.begin(), vstrFiles.end());
        EXPECT_EQ(vstrFiles, Slashed(mFiles));
        EXPECT_NE(c.Entry(L"/日本語/ソフト/"), nullptr);  // folder entries come through too
        EXPECT_EQ(c.Tree().FindNode(L"/日本語/ソフト/")->nFileCount, 1);
        for (const ARCHIVE_FILE& c_st : c.Entries()) EXPECT_EQ(c_st.ftUpdate, kFixtureTime);

        TempDir dir;
        EXPECT_EQ(c.Unify().Extract(c.FilePaths(), dir.Wide(), kKeepPaths), 5);
        EXPECT_EQ(ReadTree(dir.Path()), mFiles);
        TempDir one;
        EXPECT_EQ(c.Unify().Extract({L"/日本語/ソフト/能力.txt"}, one.Wide(), kKeepPaths), 1);
        EXPECT_EQ(ReadTree(one.Path()),
                  (std::map<std::string, std::string>{
                      {"日本語/ソフト/能力.txt", mFiles.at("日本語/ソフト/能力.txt")}}));
    }

    OpenArchive c("zip_cp932.zip");
    ASSERT_EQ(c.Result(), CA_OPENED);
    EXPECT_EQ(c.Paths(),
              (std::vector<std::wstring>{L"/日本語/", L"/日本語/表計算.txt", L"/ソフト.txt"}));
    TempDir dir;
    EXPECT_EQ(c.Unify().Extract({L"/ソフト.txt"}, dir.Wide(), kKeepPaths), 1);
    EXPECT_EQ(ReadFile(dir / "ソフト.txt"), "so\n");
}

TEST(EndToEnd, NamesSizesAndDatesFromTheLibrary) {
    {
        OpenArchive c("zip_names.zip");
        ASSERT_EQ(c.Result(), CA_OPENED);
        std::wstring strLong = L"/long/";
        for (int i = 0; i < 200; ++i) strLong += L'長';
        strLong += L".txt";  // 609 bytes: longer than the record holds
        EXPECT_EQ(c.Paths(),
                  (std::vector<std::wstring>{L"/新しい名前.txt", L"/古い.txt",
                                             L"/ユーティーエフ.txt", L"/フラグ付き.txt", strLong}));
        TempDir dir;
        EXPECT_EQ(c.Unify().Extract({L"/新しい名前.txt"}, dir.Wide(), kKeepPaths), 1);
        EXPECT_EQ(ReadFile(dir / "新しい名前.txt"), "new\n");
    }
    {
        OpenArchive c("zip_zip64_declared.zip");
        ASSERT_EQ(c.Result(), CA_OPENED);
        ASSERT_EQ(c.Entries().size(), 1u);
        EXPECT_EQ(c.Entries()[0].nOriginalSize, 5LL << 30);
        EXPECT_EQ(c.Entries()[0].nCompressedSize, 5LL << 30);
        EXPECT_EQ(c.Tree().RootNode()->llTotalOriginalSize, 5LL << 30);
    }
    {
        OpenArchive c("zip_dostime.zip");  // a local time kept as stored
        ASSERT_EQ(c.Entries().size(), 1u);
        EXPECT_EQ(c.Entries()[0].ftUpdate, FileTime(1711852200));  // 2024-03-31 02:30:00
    }
    {
        OpenArchive c("zip_utctime.zip");
        ASSERT_EQ(c.Entries().size(), 1u);
        EXPECT_EQ(c.Entries()[0].ftUpdate, kFixtureTime);
    }
}

// A 7-Zip entry after one of a multiple of 65,536 bytes (a fault of the reading library).
TEST(EndToEnd, SevenZipEntriesAfterLargeOnes) {
    OpenArchive c("7z_skip65536.7z");
    ASSERT_EQ(c.Result(), CA_OPENED);
    TempDir dir;
    EXPECT_EQ(c.Unify().Extract({L"/b.txt", L"/d.txt"}, dir.Wide(), kKeepPaths), 2);
    EXPECT_EQ(ReadTree(dir.Path()),
              (std::map<std::string, std::string>{{"b.txt", "after 64 KiB\n"},
                                                  {"d.txt", "after 128 KiB\n"}}));
}

TEST(EndToEnd, HostileNamesStayInsideTheDestination) {
    const bool bAbsExisted = fs::exists("/abs.txt");
    for (const char* c_pszName : {"lzh_hostile.lzh", "zip_hostile.zip"}) {
        SCOPED_TRACE(c_pszName);
        OpenArchive c(c_pszName);
        ASSERT_EQ(c.Result(), CA_OPENED);
        EXPECT_NE(c.Entry(L"/../evil.txt"), nullptr);
        EXPECT_NE(c.Entry(L"//abs.txt"), nullptr);
        EXPECT_NE(c.Tree().FindNode(L"/../evil.txt"), nullptr);  // shown as it is named

        TempDir dir;
        const std::string strDest = dir / "a/dest";
        fs::create_directories(strDest);
        // Some entries are refused: the request fails as a whole, visibly.
        EXPECT_EQ(c.Unify().Extract(c.FilePaths(), ToWide(strDest), kKeepPaths), -1);
        EXPECT_EQ(ReadFile(strDest + "/good.txt"), "good\n");
        EXPECT_EQ(FilesIn(dir / "a"), std::vector<std::string>{"dest"});
        EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"a"});
        EXPECT_EQ(fs::exists("/abs.txt"), bAbsExisted);
        for (const auto& c_entry : fs::recursive_directory_iterator(strDest)) {
            if (fs::is_symlink(c_entry.symlink_status())) {
                const fs::path target = fs::weakly_canonical(c_entry.path());
                EXPECT_EQ(target.string().rfind(strDest, 0), 0u) << c_entry.path();
            }
        }
        // Alone, the harmless entry extracts.
        TempDir good;
        EXPECT_EQ(c.Unify().Extract({L"/good.txt"}, good.Wide(), kKeepPaths), 1);
        EXPECT_EQ(ReadFile(good / "good.txt"), "good\n");
    }
    EXPECT_TRUE(ResponseFilesLeft().empty());
}

TEST(EndToEnd, DamagedArchivesFailWithoutHarm) {
    for (const char* c_pszName :
         {"lzh_corrupt.lzh", "zip_corrupt.zip", "7z_corrupt.7z", "lzh_truncated.lzh",
          "zip_truncated.zip", "7z_truncated.7z", "zip_encrypted.zip", "7z_encrypted.7z",
          "7z_header_encrypted.7z"}) {
        SCOPED_TRACE(c_pszName);
        OpenArchive c(c_pszName);
        if (c.Result() != CA_OPENED) {
            EXPECT_EQ(c.Result(), CA_OPEN_FAILED);
            continue;
        }
        TempDir dir;
        const int32_t nResult = c.Unify().Extract(c.FilePaths(), dir.Wide(), kKeepPaths);
        EXPECT_TRUE(nResult == -1 || nResult == static_cast<int32_t>(c.FilePaths().size()));
    }
    OpenArchive c("zip_corrupt.zip");
    TempDir dir;
    EXPECT_EQ(c.Unify().Extract({L"/bad.txt"}, dir.Wide(), kKeepPaths), -1);
    EXPECT_EQ(c.Unify().Extract({L"/ok.txt"}, dir.Wide(), kKeepPaths), 1);
    EXPECT_EQ(ReadFile(dir / "ok.txt"), "fine\n");
    EXPECT_TRUE(ResponseFilesLeft().empty());
}

TEST(EndToEnd, FilesThatAreNoArchives) {
    OpenArchive cMissing("no-such-file.zip");
    EXPECT_EQ(cMissing.Result(), CA_NEWFILE);
    ARCHIVE_FILE st;
    EXPECT_EQ(cMissing.Unify().FindFirst(L"*", &st), CA_OPEN_FAILED);
    OpenArchive cText("make-fixtures");
    EXPECT_EQ(cText.Result(), CA_UNKNOWN_EXT);
    TempDir dir;
    fs::create_directory(dir / "folder.zip");
    OpenArchive cFolder(dir / "folder.zip");
    EXPECT_EQ(cFolder.Result(), CA_OPEN_FAILED);
}
