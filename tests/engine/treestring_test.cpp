#include <gtest/gtest.h>

#include <memory>

#include "CArchive_FileTree.h"
#include "CTreeString.h"

using namespace shelf;
using namespace shelf::NArchive;

namespace {

// Texts of every width: Latin-1, the BMP, beyond it, and a value no code point has.
const std::wstring kTexts[] = {L"",
                               L"a",
                               L"readme.txt",
                               L"caf\u00e9",
                               L"資料/",
                               L"a\U0001F600b",
                               std::wstring(1, static_cast<wchar_t>(-5)) + L"x"};

}  // namespace

TEST(TreeString, ReadsBackEveryWidth) {
    for (const std::wstring& c_str : kTexts) {
        const CTreeString cText(c_str);
        EXPECT_EQ(cText.str(), c_str);
        EXPECT_EQ(cText.size(), c_str.size());
        EXPECT_EQ(cText.empty(), c_str.empty());
        EXPECT_TRUE(cText == c_str);
        EXPECT_FALSE(cText == c_str + L"!");
        for (size_t i = 0; i < c_str.size(); ++i) EXPECT_EQ(cText[i], c_str[i]);
        const CTreeString cCopy = cText;
        EXPECT_EQ(cCopy.str(), c_str);
        EXPECT_EQ(cCopy.OwnBytes(), cText.OwnBytes());
    }
}

TEST(TreeString, EqualTextsEncodeAlike) {
    // The tree's index compares encoded bytes: one text must have one encoding.
    std::string strBuffer;
    uint8_t nWidth = 0;
    for (const std::wstring& c_str : kTexts) {
        const CTreeString cText(c_str);
        EXPECT_EQ(CTreeString::Encode(c_str, &strBuffer, &nWidth), cText.OwnBytes());
        EXPECT_EQ(nWidth, cText.OwnWidth());
    }
    // "é" alone fits one byte; beside "資" it takes two, and both read back the same.
    EXPECT_EQ(CTreeString(L"\u00e9").OwnWidth(), 1);
    EXPECT_EQ(CTreeString(L"\u00e9資").OwnWidth(), 2);
    EXPECT_EQ(CTreeString(L"\U0001F600").OwnWidth(), 4);
}

TEST(TreeString, SearchAndCopy) {
    const CTreeString cText(L"a.b.tar.gz");
    EXPECT_EQ(cText.rfind(L'.'), 7u);
    EXPECT_EQ(cText.rfind(L'/'), CTreeString::npos);
    wchar_t sz[8] = {};
    EXPECT_EQ(cText.copy(sz, 8, 7), 3u);
    EXPECT_EQ(std::wstring(sz, 3), L".gz");
    EXPECT_EQ(cText.copy(sz, 8, 10), 0u);
}

TEST(TreeString, AssignmentReplacesTheValue) {
    CTreeString cText(L"first");
    cText = L"second, longer than the first";
    EXPECT_EQ(cText.str(), L"second, longer than the first");
    cText = std::wstring();
    EXPECT_TRUE(cText.empty());
    CTreeString cOther(L"資料");
    cText = std::move(cOther);
    EXPECT_EQ(cText.str(), L"資料");
}

TEST(TreeString, NodeTextsJoinTheirFoldersPaths) {
    CArchive_FileTree cTree;
    cTree.Initialize();
    ARCHIVE_FILE st;
    st.strFullPath = L"/資料/caf\u00e9/a\U0001F600.txt";
    ASSERT_EQ(cTree.AddNode(st, ARCHIVEFILETREE_NODE::NS_NORMAL), 1);
    const ARCHIVEFILETREE_NODE* pFile = cTree.FindNode(st.strFullPath);
    ASSERT_NE(pFile, nullptr);
    EXPECT_EQ(pFile->stFile.strFullPath.str(), st.strFullPath);
    EXPECT_EQ(pFile->stFile.strFullPath.size(), st.strFullPath.size());
    EXPECT_EQ(pFile->stFile.strFullPath[1], L'資');
    EXPECT_EQ(pFile->stFile.strFullPath.rfind(L'/'), 8u);
    EXPECT_EQ(pFile->strFileName.str(), L"a\U0001F600.txt");
    EXPECT_EQ(pFile->pParent->strFileName.str(), L"caf\u00e9/");
    EXPECT_EQ(pFile->pParent->stFile.strFullPath.str(), L"/資料/caf\u00e9/");
    EXPECT_EQ(pFile->pParent->pParent->stFile.strFullPath.str(), L"/資料/");

    // A copy owns its text: it outlives the tree.
    const ARCHIVE_FILE stCopy(pFile->stFile);
    const CTreeString cName = pFile->strFileName;
    const CTreeString cPath = pFile->stFile.strFullPath;
    cTree.Uninitialize();
    EXPECT_EQ(stCopy.strFullPath, st.strFullPath);
    EXPECT_EQ(cName.str(), L"a\U0001F600.txt");
    EXPECT_EQ(cPath.str(), st.strFullPath);
}

TEST(TreeString, LongNamesAndManyNodes) {
    // Texts longer than a storage block, between short ones, keep their characters.
    CArchive_FileTree cTree;
    cTree.Initialize();
    std::vector<std::wstring> vstrPath;
    for (int i = 0; i < 3000; ++i) {
        std::wstring strName = i % 500 == 7 ? std::wstring(5000, L'\U0001F600') : L"n";
        vstrPath.push_back(L"/d" + std::to_wstring(i % 40) + L"/" + strName + std::to_wstring(i));
        ARCHIVE_FILE st;
        st.strFullPath = vstrPath.back();
        ASSERT_EQ(cTree.AddNode(st, ARCHIVEFILETREE_NODE::NS_NORMAL), 1);
    }
    for (const std::wstring& c_strPath : vstrPath) {
        const ARCHIVEFILETREE_NODE* p = cTree.FindNode(c_strPath);
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(p->stFile.strFullPath == c_strPath);
    }
}
