// The engine's own parts a user depends on without seeing them: the response file handed to an
// archiver (private, exclusive, removed) and the tree of entries the window and kestrel-cli show.
#include <gtest/gtest.h>

#include "CArchive_Drivers.h"
#include "CArchive_FileTree.h"
#include "CTreeString.h"
#include "ExtractObserver.h"
#include "Platform.h"
#include "support/Support.h"

using namespace shelf;
using namespace shelf::NArchive;
using namespace kestrel::test;

namespace {

// A driver of the fake plug-in whose response files go where the test says.
template <class DRIVER>
class FakeDriver : public DRIVER {
public:
    explicit FakeDriver(const Scratch& c_scratch) {
        EXPECT_EQ(this->LoadArchiver(ToWide(KESTREL_FAKE_ARCHIVER)), 1);
        WriteFile(c_scratch / "a.lzh", "FAKEARC");
        fs::create_directory(c_scratch / "responses");
        vstrFolders = {ToWide(c_scratch / "responses")};
        EXPECT_EQ(this->Create(nullptr, ToWide(c_scratch / "a.lzh")), CA_OPENED);
    }
    std::vector<std::wstring> vstrFolders;

protected:
    std::vector<std::wstring> ResponseFolders() const override { return vstrFolders; }
};

void FixedClock(SYSTEMTIME* p) {
    *p = SYSTEMTIME{2007, 1, 0, 14, 12, 34, 56, 789};
}

}  // namespace

TEST(Engine, TheResponseFileIsPrivateExclusiveAndRemoved) {
    Scratch scratch;
    EnvScope log("KESTREL_FAKE_LOG", scratch / "log");
    EnvScope copy("KESTREL_FAKE_RESPONSE_COPY", scratch / "copy");
    FakeDriver<CArchive_Lha_Unlha32> c(scratch);
    SetSystemTimeSource(&FixedClock);
    const std::string strName = scratch / "responses/kr_response_511fe9b7.tmp";
    EXPECT_EQ(c.Extract({L"/dir/a.txt", L"/日本語/ファイル.txt"}, ToWide(scratch / "out dir"),
                        EXT_MODE(0x92)),
              2);
    EXPECT_EQ(ReadFile(scratch / "copy"), "\"dir/a.txt\" -p2\r\n\"日本語/ファイル.txt\" -p2\r\n");
    // A link planted under the name is neither followed nor truncated nor removed.
    WriteFile(scratch / "victim", "precious");
    fs::create_symlink(scratch / "victim", strName);
    EXPECT_EQ(c.Extract({L"/big.bin"}, L"/out", EXT_MODE(0x92)), 1);
    SetSystemTimeSource(nullptr);
    EXPECT_EQ(ReadFile(scratch / "victim"), "precious");
    EXPECT_EQ(ListTree(scratch / "responses"),
              std::vector<std::string>{"kr_response_511fe9b7.tmp"});
    const std::vector<std::string> vLog = Lines(ReadFile(scratch / "log"));
    ASSERT_EQ(vLog.size(), 4u);
    EXPECT_EQ(vLog[0], "cmd e -x1 -c1 -m1 -a2 \"" + scratch / "a.lzh" + "\" \"" +
                           scratch / "out dir" + "\" @\"" + strName + "\"");
    EXPECT_EQ(vLog[1], "response " + strName + " 600");
    EXPECT_EQ(vLog[3], "response " + scratch / "responses/kr_response_511fe9b8.tmp 600");
    // A failed command: -1, and the file is removed all the same; no folder takes it: -2.
    EnvScope fails("KESTREL_FAKE_CMD_RESULT", "1");
    EXPECT_EQ(c.Extract({L"/big.bin"}, L"/out", EXT_MODE(0x92)), -1);
    EXPECT_EQ(ListTree(scratch / "responses").size(), 1u);
    c.vstrFolders = {ToWide(scratch / "no/such/folder")};
    EXPECT_EQ(c.Extract({L"/big.bin"}, L"/out", EXT_MODE(0x92)), -2);
}

// The password reaches the archiver only through its callback, never in the command line or the
// response file. One that was right is kept for the archive until it closes; after a wrong one
// the observer is asked again, told so. A cancel comes back as -3.
TEST(Engine, PasswordsGoOnlyThroughTheCallbackAndAreKeptUntilClose) {
    struct Observer : IExtractObserver {
        std::vector<std::string> vAnswers;
        std::vector<bool> vWrongBefore;
        std::vector<std::wstring> vPaths;
        bool bStop = false;
        bool Progress(const EXTRACT_PROGRESS& c_st) override {
            vPaths.push_back(c_st.strPath);
            return !bStop;
        }
        bool Password(bool bWrongBefore, kestrel::Secret* pPassword) override {
            vWrongBefore.push_back(bWrongBefore);
            if (vAnswers.empty()) return false;
            pPassword->Assign(vAnswers.front().data(), vAnswers.front().size());
            vAnswers.erase(vAnswers.begin());
            return true;
        }
    } o;
    Scratch scratch;
    EnvScope log("KESTREL_FAKE_LOG", scratch / "log");
    EnvScope copy("KESTREL_FAKE_RESPONSE_COPY", scratch / "copy");
    EnvScope password("KESTREL_FAKE_PASSWORD", "Geheim");
    FakeDriver<CArchive_Lha_Unlha32> c(scratch);
    c.SetExtractObserver(&o);
    auto fnExtract = [&] { return c.Extract({L"/dir/a.txt"}, L"/out", EXT_MODE(0x92)); };
    o.vAnswers = {"wrong", "Geheim"};
    EXPECT_EQ(fnExtract(), 1);
    EXPECT_EQ(fnExtract(), 1);
    EXPECT_EQ(o.vWrongBefore, (std::vector<bool>{false, true}));
    EXPECT_EQ(o.vPaths, (std::vector<std::wstring>{L"/dir/a.txt", L"/dir/a.txt"}));
    c.Close();
    EXPECT_EQ(c.Create(nullptr, ToWide(scratch / "a.lzh")), CA_OPENED);
    o.bStop = true;
    EXPECT_EQ(fnExtract(), -3);
    EXPECT_EQ(o.vWrongBefore, (std::vector<bool>{false, true, false}));
    const std::string strLog = ReadFile(scratch / "log");
    EXPECT_EQ(Lines(strLog)[0], "password 1 right");
    EXPECT_EQ(Lines(strLog)[3], "password 0 right");
    EXPECT_EQ(Lines(strLog)[6], "password declined");
    EXPECT_EQ(strLog.find("Geheim"), std::string::npos);
    EXPECT_EQ(ReadFile(scratch / "copy"), "\"dir/a.txt\" -p2\r\n");
}

TEST(Engine, TheTreeOfEntries) {
    // Names of every width read back as they were.
    for (const std::wstring& c_str :
         {std::wstring(), std::wstring(L"readme.txt"), std::wstring(L"caf\u00e9"),
          std::wstring(L"\u00e9資料/"), std::wstring(L"a\U0001F600b")}) {
        EXPECT_EQ(CTreeString(c_str).str(), c_str);
    }
    CArchive_FileTree c;
    ASSERT_EQ(c.Initialize(), 1);
    auto fnAdd = [&](const std::wstring& c_strPath, int64_t llSize) {
        ARCHIVE_FILE st;
        st.strFullPath = c_strPath;
        st.nOriginalSize = llSize;
        return c.AddNode(st, ARCHIVEFILETREE_NODE::NS_NORMAL);
    };
    fnAdd(L"/docs/img/a.png", 0x140000000LL);
    fnAdd(L"/Docs/b.txt", 1);
    fnAdd(L"/docs/", 99);  // a folder entry only makes sure the folder is there
    fnAdd(L"/a.txt", 2);
    fnAdd(L"/a.txt", 3);  // duplicates stay; lookups find the first
    fnAdd(L"/a.txt/inner.txt", 4);
    fnAdd(L"/a//b.txt", 5);  // a folder named "/"
    EXPECT_EQ(fnAdd(L"no-slash.txt", 6), 0);
    const auto* pRoot = c.RootNode();
    EXPECT_EQ(pRoot->nTotalFileCount, 6);
    EXPECT_EQ(pRoot->llTotalOriginalSize, 0x140000000LL + 15);
    EXPECT_EQ(pRoot->nFileCount, 2);
    EXPECT_EQ(c.FindNode(L"/docs/")->llTotalOriginalSize, 0x140000000LL);
    EXPECT_EQ(c.FindNode(L"/docs/b.txt"), nullptr);
    EXPECT_EQ(c.FindNode(L"/docs"), nullptr);
    EXPECT_EQ(c.FindNode(L"/a.txt")->stFile.nOriginalSize, 2);
    EXPECT_EQ(c.FindNode(L"/a.txt/")->nTotalFileCount, 1);
    EXPECT_EQ(c.FindNode(L"/a//b.txt")->pParent->strFileName, L"/");
}
