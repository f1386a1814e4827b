// Formats and the unified archive over fake plug-ins presented under the real library names.
#include <gtest/gtest.h>

#include "CArchive_Selecter.h"
#include "CArchive_Unify.h"
#include "engine_test_support.h"

using namespace shelf;
using namespace shelf::NArchive;
using namespace kestrel_test;

namespace {

class Formats : public ::testing::Test {
protected:
    Formats() : m_envLog("KESTREL_FAKE_LOG", m_files / "log") {
        for (const char* c_psz : {"a.lzh", "Backup.LZH", "a.zip", "archive.tar.zip", "a.7z"}) {
            WriteFile(m_files / c_psz, "FAKEARC");
        }
        WriteFile(m_files / "bad.zip", "no");
        WriteFile(m_files / "archive.zip.bak", "FAKEARC");
    }
    std::wstring File(const char* c_psz) const { return ToWide(m_files / c_psz); }
    size_t CountLog(const std::string& c_strPrefix) const {
        size_t n = 0;
        for (const std::string& s : ReadLines(m_files / "log")) n += s.rfind(c_strPrefix, 0) == 0;
        return n;
    }

    TempDir m_files;
    ScopedEnv m_envLog;
};

// Every forwarding operation answers with a failure code when nothing is chosen.
void ExpectNothingChosen(CArchive* pc) {
    ARCHIVE_FILE st;
    st.strFullPath = L"/untouched";
    EXPECT_EQ(pc->FindFirst(L"*", &st), CA_ERROR);
    EXPECT_EQ(pc->FindNext(&st), CA_ERROR);
    EXPECT_EQ(st.strFullPath, L"/untouched");
    EXPECT_EQ(pc->FindEnd(), 0);
    EXPECT_EQ(pc->FindProgress(), 0);
    EXPECT_EQ(pc->GetArchiveFileSize(), 0);
    EXPECT_EQ(pc->Extract({L"/a.txt"}, L"/out", EXT_MODE(0x92)), -1);
}

}  // namespace

TEST_F(Formats, AFormatWithoutItsLibrary) {
    FakeArchiverDir dir("fake_full", {"UnZip32.so"});
    CArchive_Lha c;
    EXPECT_EQ(c.ClassInitialize(), 0);
    ARCHIVE_PROPERTY st;
    st.strName = L"untouched";
    EXPECT_EQ(c.EnumProperty(0, &st), 0);
    EXPECT_EQ(st.strName, L"untouched");
    ASSERT_EQ(c.Property(&st), 1);
    EXPECT_EQ(st.strProvider, L"LHA");
    EXPECT_EQ(st.bFind + st.bExtract + st.bCompress + st.bUpdate + st.bRename + st.bDelete, 0);
    EXPECT_EQ(c.Create(nullptr, File("a.lzh")), CA_NO_ARCHIVER);
    EXPECT_EQ(c.Open(nullptr, File("a.lzh")), CA_NO_ARCHIVER);
    ExpectNothingChosen(&c);
    EXPECT_EQ(c.Close(), 0);
    EXPECT_EQ(c.Ready(), 0);
}

TEST_F(Formats, AFormatWithItsLibrary) {
    FakeArchiverDir dir("fake_full", {"Unlha32.so", "UnZip32.so", "7-Zip32.so"});
    struct {
        std::unique_ptr<CArchive_Selecter> pc;
        const wchar_t *pszType, *pszName, *pszExt, *pszDriver;
    } cases[] = {
        {std::make_unique<CArchive_Lha>(), L"LHA", L"LHA書庫", L".lzh", L"Unlha32.dll"},
        {std::make_unique<CArchive_Zip>(), L"ZIP", L"ZIP書庫", L".zip", L"UnZip32.dll"},
        {std::make_unique<CArchive_7Zip>(), L"7-ZIP", L"7-ZIP書庫", L".7z", L"7-Zip32.dll"},
    };
    for (auto& c : cases) {
        ASSERT_EQ(c.pc->ClassInitialize(), 1);
        ARCHIVE_PROPERTY st;
        ASSERT_EQ(c.pc->Property(&st), 1);
        EXPECT_EQ(st.strProvider, c.pszType);
        EXPECT_EQ(st.strName, c.pszName);
        EXPECT_EQ(st.strType, c.pszType);
        EXPECT_EQ(st.strExt, c.pszExt);
        EXPECT_EQ(st.bFind, 1);
        EXPECT_EQ(st.bExtract, 1);
        EXPECT_EQ(st.bCompress + st.bUpdate + st.bRename + st.bDelete, 0);
        EXPECT_EQ(st.pcArchive, c.pc.get());

        ARCHIVE_PROPERTY stDriver;
        ASSERT_EQ(c.pc->EnumProperty(0, &stDriver), 1);
        EXPECT_EQ(stDriver.strProvider, c.pszDriver);
        EXPECT_EQ(stDriver.strName, c.pszName);
        EXPECT_EQ(stDriver.strExt, c.pszExt);
        EXPECT_NE(stDriver.pcArchive, c.pc.get());
        EXPECT_EQ(c.pc->EnumProperty(1, &stDriver), 0);
        EXPECT_EQ(c.pc->EnumProperty(-1, &stDriver), 0);
        EXPECT_EQ(c.pc->Initialize(), 1);
        EXPECT_EQ(c.pc->Uninitialize(), 1);
    }
}

TEST_F(Formats, AFailedOpenKeepsTheDriverChosenUntilClose) {
    FakeArchiverDir dir("fake_full", {"UnZip32.so"});
    CArchive_Zip c;
    ASSERT_EQ(c.ClassInitialize(), 1);
    ExpectNothingChosen(&c);  // before any Create

    EXPECT_EQ(c.Open(nullptr, File("bad.zip")), CA_OPEN_FAILED);
    ARCHIVE_FILE st;
    EXPECT_EQ(c.FindFirst(L"*", &st), CA_OPEN_FAILED);  // the driver answers, not the format
    EXPECT_EQ(c.Close(), 0);                            // the driver had nothing open
    ExpectNothingChosen(&c);

    ASSERT_EQ(c.Create(nullptr, File("a.zip")), CA_OPENED);
    ASSERT_EQ(c.FindFirst(L"*", &st), CA_OK);
    EXPECT_EQ(st.strFullPath, L"/dir\\a.txt");
    EXPECT_EQ(c.FindProgress(), 250);
    EXPECT_EQ(c.GetArchiveFileSize(), 2000);
    EXPECT_EQ(c.Close(), 1);
    ExpectNothingChosen(&c);
}

TEST_F(Formats, CreateTwiceSendsBothRequests) {
    FakeArchiverDir dir("fake_full", {"Unlha32.so"});
    CArchive_Lha c;
    ASSERT_EQ(c.ClassInitialize(), 1);
    EXPECT_EQ(c.Create(nullptr, File("a.lzh")), CA_OPENED);
    EXPECT_EQ(c.Create(nullptr, File("Backup.LZH")), CA_OPENED);
    EXPECT_EQ(CountLog("open "), 2u);
    EXPECT_EQ(c.Close(), 1);
}

TEST_F(Formats, ReleasingAFormatReleasesItsDriver) {
    FakeArchiverDir dir("fake_full", {"Unlha32.so"});
    CArchive_Lha c;
    ASSERT_EQ(c.ClassInitialize(), 1);
    ASSERT_EQ(c.Open(nullptr, File("a.lzh")), CA_OPENED);
    c.ClassUninitialize();
    ARCHIVE_PROPERTY st;
    EXPECT_EQ(c.EnumProperty(0, &st), 0);
    ExpectNothingChosen(&c);  // no pointer to the destroyed driver is left
    EXPECT_EQ(c.Close(), 0);
    // Registering again works.
    ASSERT_EQ(c.ClassInitialize(), 1);
    EXPECT_EQ(c.EnumProperty(0, &st), 1);
}

TEST_F(Formats, UnifiedArchiveRegistersEveryLoadableFormat) {
    FakeArchiverDir dir("fake_full", {"Unlha32.so", "UnZip32.so", "7-Zip32.so"});
    CArchive_Unify c;
    ASSERT_EQ(c.ClassInitialize(), 1);
    ARCHIVE_PROPERTY st;
    const wchar_t* kOrder[] = {L"LHA", L"ZIP", L"7-ZIP"};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(c.EnumProperty(i, &st), 1);
        EXPECT_EQ(st.strProvider, kOrder[i]);
        EXPECT_EQ(st.bFind, 1);
    }
    EXPECT_EQ(c.EnumProperty(3, &st), 0);

    // Before any open: an empty description of itself.
    ASSERT_EQ(c.Property(&st), 1);
    EXPECT_TRUE(st.strName.empty() && st.strExt.empty() && st.strType.empty());
    EXPECT_EQ(st.bFind, 0);
    EXPECT_EQ(st.pcArchive, &c);
    ExpectNothingChosen(&c);

    EXPECT_EQ(c.Open(nullptr, File("Backup.LZH")), CA_OPENED);
    c.Property(&st);
    EXPECT_EQ(st.strName, L"LHA書庫");
    EXPECT_EQ(c.Close(), 1);
    EXPECT_EQ(c.Close(), 0);  // nothing left to close
    ExpectNothingChosen(&c);

    EXPECT_EQ(c.Create(nullptr, File("archive.tar.zip")), CA_OPENED);
    c.Property(&st);
    EXPECT_EQ(st.strName, L"ZIP書庫");
    EXPECT_EQ(st.strExt, L".zip");
    EXPECT_EQ(st.bFind, 1);
    EXPECT_EQ(st.bExtract, 1);
    EXPECT_NE(st.pcArchive, &c);
    EXPECT_EQ(c.Close(), 1);

    EXPECT_EQ(c.Open(nullptr, File("archive.zip.bak")), CA_UNKNOWN_EXT);
    EXPECT_EQ(c.Open(nullptr, L"/data.old/readme"), CA_UNKNOWN_EXT);
    EXPECT_EQ(c.Create(nullptr, L"/data/readme"), CA_UNKNOWN_EXT);
    EXPECT_EQ(c.Create(nullptr, L"/data/a.tar"), CA_UNKNOWN_EXT);
    EXPECT_EQ(c.Create(nullptr, L"/data/a.ＺＩＰ"), CA_UNKNOWN_EXT);  // only A-Z are folded
    c.Property(&st);
    EXPECT_EQ(st.strName, L"ZIP書庫");  // unchanged by the refusals
    ExpectNothingChosen(&c);

    // A failed open leaves its format active.
    EXPECT_EQ(c.Open(nullptr, File("bad.zip")), CA_OPEN_FAILED);
    c.Property(&st);
    EXPECT_EQ(st.strName, L"ZIP書庫");
    EXPECT_EQ(c.Close(), 0);
    EXPECT_EQ(c.CreateByType(nullptr, File("a.lzh"), L"NOPE"), CA_UNKNOWN_EXT);
    EXPECT_EQ(c.OpenByType(nullptr, File("a.lzh"), L"LHA"), CA_OPENED);
    EXPECT_EQ(c.Close(), 1);
}

TEST_F(Formats, UnifiedArchiveListsAndExtractsThroughTheActiveFormat) {
    FakeArchiverDir dir("fake_full", {"Unlha32.so", "UnZip32.so", "7-Zip32.so"});
    ScopedEnv copy("KESTREL_FAKE_RESPONSE_COPY", m_files / "response");
    CArchive_Unify c;
    ASSERT_EQ(c.ClassInitialize(), 1);
    c.Initialize();
    ASSERT_EQ(c.Create(nullptr, File("a.7z")), CA_OPENED);
    ARCHIVE_FILE st;
    ASSERT_EQ(c.FindFirst(L"*", &st), CA_OK);
    EXPECT_EQ(st.strFullPath, L"/dir/a.txt");
    ASSERT_EQ(c.FindNext(&st), CA_OK);
    EXPECT_EQ(c.FindProgress(), 250);
    EXPECT_EQ(c.GetArchiveFileSize(), 2000);
    EXPECT_EQ(c.FindEnd(), 1);
    EXPECT_EQ(c.Extract({L"/dir/a.txt"}, L"/out", EXT_MODE(0x92)), 1);
    EXPECT_EQ(ReadFile(m_files / "response"), "\"dir\\a.txt\"\r\n");
    EXPECT_EQ(c.Close(), 0);  // the extraction released the handle
    c.Uninitialize();
    c.ClassUninitialize();
    ARCHIVE_PROPERTY stProperty;
    EXPECT_EQ(c.EnumProperty(0, &stProperty), 0);
    EXPECT_EQ(c.Create(nullptr, File("a.7z")), CA_UNKNOWN_EXT);
    ExpectNothingChosen(&c);
}

TEST_F(Formats, UnifiedArchiveWithSomeLibrariesMissing) {
    {
        FakeArchiverDir dir("fake_full", {"Unlha32.so", "7-Zip32.so"});
        CArchive_Unify c;
        ASSERT_EQ(c.ClassInitialize(), 1);
        ARCHIVE_PROPERTY st;
        ASSERT_EQ(c.EnumProperty(0, &st), 1);
        EXPECT_EQ(st.strProvider, L"LHA");
        ASSERT_EQ(c.EnumProperty(1, &st), 1);
        EXPECT_EQ(st.strProvider, L"7-ZIP");
        EXPECT_EQ(c.EnumProperty(2, &st), 0);
        EXPECT_EQ(c.Open(nullptr, File("a.zip")), CA_UNKNOWN_EXT);
        EXPECT_EQ(c.Open(nullptr, File("a.7z")), CA_OPENED);
    }
    {
        FakeArchiverDir dir("fake_full", {"Unlha32.so", "UnZip32.so", "7-Zip32.so"});
        CArchive_Unify c(CArchive_Unify::FORMAT_ZIP);
        ASSERT_EQ(c.ClassInitialize(), 1);
        ARCHIVE_PROPERTY st;
        ASSERT_EQ(c.EnumProperty(0, &st), 1);
        EXPECT_EQ(st.strProvider, L"ZIP");
        EXPECT_EQ(c.EnumProperty(1, &st), 0);
        EXPECT_EQ(c.Open(nullptr, File("a.lzh")), CA_UNKNOWN_EXT);
        EXPECT_EQ(c.Open(nullptr, File("a.zip")), CA_OPENED);
        // Destroyed with the archive still open: everything is released.
    }
    {
        FakeArchiverDir dir("fake_full", {});
        CArchive_Unify c;
        EXPECT_EQ(c.ClassInitialize(), 0);
        EXPECT_EQ(c.Create(nullptr, File("a.lzh")), CA_UNKNOWN_EXT);
        ExpectNothingChosen(&c);
    }
}
