#include <gtest/gtest.h>

#include <chrono>

#include "CArchive_FileTree.h"

using namespace shelf;
using namespace shelf::NArchive;
using NODE = CArchive_FileTree::NODE;

namespace {

ARCHIVE_FILE Entry(const std::wstring& c_strPath, int64_t c_nOriginal = 0,
                   int64_t c_nCompressed = 0) {
    ARCHIVE_FILE st;
    st.strFullPath = c_strPath;
    st.nOriginalSize = c_nOriginal;
    st.nCompressedSize = c_nCompressed;
    return st;
}

void ExpectTotals(const NODE* p, int32_t c_nCount, int64_t c_nOriginal, int64_t c_nCompressed) {
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->nTotalFileCount, c_nCount);
    EXPECT_EQ(p->llTotalOriginalSize, c_nOriginal);
    EXPECT_EQ(p->llTotalCompressedSize, c_nCompressed);
}

double Seconds(const std::chrono::steady_clock::time_point& c_t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - c_t0).count();
}

}  // namespace

TEST(FileTree, FoldersAreMadeAlongTheWay) {
    CArchive_FileTree c;
    ASSERT_EQ(c.Initialize(), 1);
    ARCHIVE_FILE st = Entry(L"/docs/img/a.png", 0x140000000LL, 7);
    st.nFlag = 9;
    st.dRatio = 0.25;
    ASSERT_EQ(c.AddNode(st, NODE::NS_NORMAL), 1);

    const NODE* pRoot = c.RootNode();
    ASSERT_NE(pRoot, nullptr);
    EXPECT_EQ(pRoot->nType, NODE::NT_ROOT);
    EXPECT_EQ(pRoot->stFile.strFullPath, L"/");
    EXPECT_EQ(pRoot->pParent, nullptr);
    EXPECT_EQ(pRoot->nFileCount, 0);
    ExpectTotals(pRoot, 1, 0x140000000LL, 7);

    const NODE* pDocs = c.FindNode(L"/docs/");
    ASSERT_NE(pDocs, nullptr);
    EXPECT_EQ(pDocs->nType, NODE::NT_DIRECTORY);
    EXPECT_EQ(pDocs->strFileName, L"docs/");
    EXPECT_EQ(pDocs->stFile.strFullPath, L"/docs/");
    EXPECT_EQ(pDocs->pParent, pRoot);
    EXPECT_EQ(pDocs->nFileCount, 0);
    ExpectTotals(pDocs, 1, 0x140000000LL, 7);

    const NODE* pImg = c.FindNode(L"/docs/img/");
    ASSERT_NE(pImg, nullptr);
    EXPECT_EQ(pImg->stFile.strFullPath, L"/docs/img/");
    EXPECT_EQ(pImg->strFileName, L"img/");
    EXPECT_EQ(pImg->nFileCount, 1);
    EXPECT_EQ(pImg->llOriginalSize, 0x140000000LL);
    EXPECT_EQ(pImg->llCompressedSize, 7);
    ExpectTotals(pImg, 1, 0x140000000LL, 7);

    const NODE* pFile = c.FindNode(L"/docs/img/a.png");
    ASSERT_NE(pFile, nullptr);
    EXPECT_EQ(pFile->nType, NODE::NT_FILE);
    EXPECT_EQ(pFile->strFileName, L"a.png");
    EXPECT_EQ(pFile->stFile.strFullPath, L"/docs/img/a.png");
    EXPECT_EQ(pFile->stFile.nFlag, 9u);
    EXPECT_EQ(pFile->stFile.dRatio, 0.25);
    EXPECT_EQ(pFile->pParent, pImg);
    EXPECT_EQ(pFile->nTotalFileCount, 0);
    EXPECT_TRUE(pFile->strOrgFullPath.empty());
}

TEST(FileTree, FolderEntriesOnlyMakeSureTheFolderExists) {
    CArchive_FileTree c;
    c.Initialize();
    c.AddNode(Entry(L"/docs/a.txt", 10, 5), NODE::NS_NORMAL);
    ASSERT_EQ(c.AddNode(Entry(L"/docs/", 99, 99), NODE::NS_NORMAL), 1);
    ASSERT_EQ(c.AddNode(Entry(L"/new/", 99, 99), NODE::NS_NORMAL), 1);
    ASSERT_EQ(c.AddNode(Entry(L"/", 99, 99), NODE::NS_NORMAL), 1);
    const NODE* pRoot = c.RootNode();
    ASSERT_EQ(pRoot->vecChildren.size(), 2u);
    EXPECT_EQ(pRoot->vecChildren[0]->strFileName, L"docs/");
    EXPECT_EQ(pRoot->vecChildren[1]->strFileName, L"new/");
    EXPECT_EQ(pRoot->vecChildren[0]->vecChildren.size(), 1u);
    ExpectTotals(pRoot, 1, 10, 5);
    ExpectTotals(c.FindNode(L"/new/"), 0, 0, 0);
}

TEST(FileTree, NamesMatchExactlyAndDuplicatesStay) {
    CArchive_FileTree c;
    c.Initialize();
    c.AddNode(Entry(L"/docs/a.txt"), NODE::NS_NORMAL);
    c.AddNode(Entry(L"/Docs/b.txt"), NODE::NS_NORMAL);
    ASSERT_EQ(c.RootNode()->vecChildren.size(), 2u);
    EXPECT_EQ(c.FindNode(L"/Docs/b.txt")->pParent->strFileName, L"Docs/");
    EXPECT_EQ(c.FindNode(L"/docs/b.txt"), nullptr);

    c.AddNode(Entry(L"/a.txt", 1), NODE::NS_NORMAL);
    c.AddNode(Entry(L"/a.txt", 2), NODE::NS_NORMAL);
    EXPECT_EQ(c.RootNode()->nFileCount, 2);
    EXPECT_EQ(c.RootNode()->nTotalFileCount, 4);
    EXPECT_EQ(c.FindNode(L"/a.txt")->stFile.nOriginalSize, 1);  // the first one

    // A file and a folder of the same name are different nodes.
    c.AddNode(Entry(L"/a.txt/inner.txt"), NODE::NS_NORMAL);
    EXPECT_EQ(c.FindNode(L"/a.txt")->nType, NODE::NT_FILE);
    EXPECT_EQ(c.FindNode(L"/a.txt/")->nType, NODE::NT_DIRECTORY);

    // Two slashes in a row: a folder named "/".
    c.AddNode(Entry(L"/a//b.txt"), NODE::NS_NORMAL);
    const NODE* p = c.FindNode(L"/a//b.txt");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->pParent->strFileName, L"/");
    EXPECT_EQ(p->pParent->stFile.strFullPath, L"/a//");
    EXPECT_EQ(p->pParent->pParent->strFileName, L"a/");
}

TEST(FileTree, PathsWithoutALeadingSlashAreRefused) {
    CArchive_FileTree c;
    EXPECT_EQ(c.RootNode(), nullptr);
    EXPECT_EQ(c.FindNode(L"/"), nullptr);
    EXPECT_EQ(c.AddNode(Entry(L"docs/a.txt", 5), NODE::NS_NORMAL), 0);
    ASSERT_NE(c.RootNode(), nullptr);  // the root was made all the same
    EXPECT_EQ(c.AddNode(Entry(L"", 5), NODE::NS_NORMAL), 0);
    EXPECT_TRUE(c.RootNode()->vecChildren.empty());
    ExpectTotals(c.RootNode(), 0, 0, 0);
    EXPECT_EQ(c.FindNode(L""), nullptr);
    EXPECT_EQ(c.FindNode(L"docs/"), nullptr);
}

TEST(FileTree, LookupsNeedTheTrailingSlashForFolders) {
    CArchive_FileTree c;
    ASSERT_EQ(c.AddNode(Entry(L"/docs/a.txt"), NODE::NS_NORMAL), 1);  // never initialised
    EXPECT_EQ(c.FindNode(L"/"), c.RootNode());
    EXPECT_EQ(c.FindNode(L"/docs"), nullptr);
    EXPECT_NE(c.FindNode(L"/docs/"), nullptr);
    EXPECT_EQ(c.FindNode(L"/docs/a.txt/"), nullptr);
    EXPECT_EQ(c.FindNode(L"/nothing/a.txt"), nullptr);
}

TEST(FileTree, ExcludedNodesAreSkipped) {
    CArchive_FileTree c;
    c.Initialize();
    c.AddNode(Entry(L"/docs/hidden.txt", 3), NODE::NS_EXCLUDED);
    c.AddNode(Entry(L"/docs/a.txt", 4), NODE::NS_NORMAL);
    const NODE* pRoot = c.RootNode();
    ASSERT_EQ(pRoot->vecChildren.size(), 2u);
    EXPECT_EQ(pRoot->vecChildren[0]->nStatus, NODE::NS_EXCLUDED);
    EXPECT_EQ(pRoot->vecChildren[0]->vecChildren[0]->nStatus, NODE::NS_EXCLUDED);
    EXPECT_EQ(pRoot->vecChildren[1]->nStatus, NODE::NS_NORMAL);
    EXPECT_EQ(c.FindNode(L"/docs/"), pRoot->vecChildren[1]);
    EXPECT_EQ(c.FindNode(L"/docs/hidden.txt"), nullptr);
    ExpectTotals(pRoot, 2, 7, 0);  // counted all the same

    // A node excluded after it was added is skipped from then on.
    NODE* pDocs = c.FindNode(L"/docs/");
    pDocs->nStatus = NODE::NS_EXCLUDED;
    EXPECT_EQ(c.FindNode(L"/docs/"), nullptr);
    c.AddNode(Entry(L"/docs/b.txt"), NODE::NS_NORMAL);
    EXPECT_EQ(pRoot->vecChildren.size(), 3u);
    EXPECT_EQ(c.FindNode(L"/docs/"), pRoot->vecChildren[2]);
    c.FindNode(L"/docs/b.txt")->nStatus = NODE::NS_EXCLUDED;
    EXPECT_EQ(c.FindNode(L"/docs/b.txt"), nullptr);
}

TEST(FileTree, AnExcludedOuterFolderIsNotReusedForTheNextEntry) {
    // Entries of one folder come one after another; excluding an outer folder in between must
    // still give the next entry a new path of ordinary folders.
    CArchive_FileTree c;
    c.Initialize();
    c.AddNode(Entry(L"/p/q/a.txt", 1), NODE::NS_NORMAL);
    NODE* pOuter = c.FindNode(L"/p/");
    ASSERT_NE(pOuter, nullptr);
    pOuter->nStatus = NODE::NS_EXCLUDED;
    c.AddNode(Entry(L"/p/q/b.txt", 2), NODE::NS_NORMAL);
    const NODE* pFile = c.FindNode(L"/p/q/b.txt");
    ASSERT_NE(pFile, nullptr);
    EXPECT_NE(pFile->pParent->pParent, pOuter);
    EXPECT_EQ(c.RootNode()->vecChildren.size(), 2u);
    ExpectTotals(pFile->pParent->pParent, 1, 2, 0);
    ExpectTotals(pOuter, 1, 1, 0);
    ExpectTotals(c.RootNode(), 2, 3, 0);
}

TEST(FileTree, InitializeAndUninitialize) {
    CArchive_FileTree c;
    EXPECT_EQ(c.Uninitialize(), 0);
    c.AddNode(Entry(L"/a/b.txt"), NODE::NS_NORMAL);
    EXPECT_EQ(c.FindNode(L"/a/b.txt")->nType, NODE::NT_FILE);
    ASSERT_EQ(c.Initialize(), 1);
    EXPECT_TRUE(c.RootNode()->vecChildren.empty());
    EXPECT_EQ(c.FindNode(L"/a/"), nullptr);
    EXPECT_EQ(c.FindNode(L"/a/b.txt"), nullptr);
    c.AddNode(Entry(L"/a/b.txt"), NODE::NS_NORMAL);
    EXPECT_NE(c.FindNode(L"/a/b.txt"), nullptr);  // found after the file index was rebuilt
    EXPECT_EQ(c.Uninitialize(), 1);
    EXPECT_EQ(c.RootNode(), nullptr);
    EXPECT_EQ(c.Uninitialize(), 0);
}

TEST(FileTree, FilesAddedAfterALookupAreFound) {
    CArchive_FileTree c;
    c.AddNode(Entry(L"/a/1.txt"), NODE::NS_NORMAL);
    EXPECT_NE(c.FindNode(L"/a/1.txt"), nullptr);
    c.AddNode(Entry(L"/a/2.txt"), NODE::NS_NORMAL);
    c.AddNode(Entry(L"/a/1.txt", 5), NODE::NS_NORMAL);
    EXPECT_NE(c.FindNode(L"/a/2.txt"), nullptr);
    EXPECT_EQ(c.FindNode(L"/a/1.txt")->stFile.nOriginalSize, 0);
}

// Folders side by side, each with a file, and files side by side. With a linear search of
// the children, adding grows with the square of the count and each lookup with the count.
double BuildWide(int c_nCount, CArchive_FileTree* pc) {
    pc->Initialize();
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < c_nCount; ++i) {
        pc->AddNode(Entry(L"/top/d" + std::to_wstring(i) + L"/f.txt", 1, 1), NODE::NS_NORMAL);
    }
    for (int i = 0; i < c_nCount; ++i) {
        pc->AddNode(Entry(L"/flat/f" + std::to_wstring(i) + L".txt", 1, 1), NODE::NS_NORMAL);
    }
    return Seconds(t0);
}

TEST(FileTree, ManyChildrenOfOneFolderStayLinear) {
    CArchive_FileTree c;
    // About 0.1 s here, a few minutes with a linear search: the bound leaves room for a
    // busy machine and a sanitizer build.
    const double dBuild = BuildWide(100000, &c);
    EXPECT_LT(dBuild, 10.0);
    EXPECT_EQ(c.FindNode(L"/top/")->vecChildren.size(), 100000u);
    EXPECT_EQ(c.FindNode(L"/flat/")->nFileCount, 100000);
    ExpectTotals(c.RootNode(), 200000, 200000, 200000);

    // 28,572 lookups among 100,000 siblings: milliseconds, where a linear search takes seconds.
    EXPECT_NE(c.FindNode(L"/flat/f1.txt"), nullptr);  // files are indexed on the first lookup
    const auto t0 = std::chrono::steady_clock::now();
    int nFound = 0;
    for (int i = 0; i < 100000; i += 7) {
        nFound += c.FindNode(L"/top/d" + std::to_wstring(i) + L"/") != nullptr;
        nFound += c.FindNode(L"/flat/f" + std::to_wstring(i) + L".txt") != nullptr;
    }
    EXPECT_EQ(nFound, 2 * 14286);
    EXPECT_LT(Seconds(t0), 1.0);
}

TEST(FileTree, DeepNesting) {
    CArchive_FileTree c;
    std::wstring strPath;
    for (int i = 0; i < 1000; ++i) strPath += L"/d";
    ASSERT_EQ(c.AddNode(Entry(strPath + L"/f.txt", 1), NODE::NS_NORMAL), 1);
    ExpectTotals(c.FindNode(strPath + L"/"), 1, 1, 0);
    EXPECT_EQ(c.Uninitialize(), 1);
}
