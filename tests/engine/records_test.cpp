#include <gtest/gtest.h>

#include "CArchive.h"
#include "NArchive.h"

using namespace shelf;
using namespace shelf::NArchive;

namespace {

// The smallest concrete archive: only what the base leaves pure.
class BareArchive : public CArchive {
public:
    int32_t ClassInitialize() override { return 1; }
    void ClassUninitialize() override {}
    CA_RESULT Create(void*, const std::wstring&) override { return CA_ERROR; }
    CA_RESULT Open(void*, const std::wstring&) override { return CA_ERROR; }
    int32_t Close() override { return 0; }
    CA_RESULT FindFirst(const std::wstring&, ARCHIVE_FILE*) override { return CA_ERROR; }
    CA_RESULT FindNext(ARCHIVE_FILE*) override { return CA_ERROR; }
    int32_t FindEnd() override { return 0; }
    int32_t FindProgress() override { return 0; }
    int64_t GetArchiveFileSize() override { return 0; }
    int32_t Extract(const std::vector<std::wstring>&, const std::wstring&, EXT_MODE) override {
        return -1;
    }
    void Describe(const ARCHIVE_PROPERTY& st) { m_stProperty = st; }
};

}  // namespace

TEST(Records, CodesAndModesHaveTheirFixedValues) {
    EXPECT_EQ(CA_OPENED, 2);
    EXPECT_EQ(CA_NEWFILE, 1);
    EXPECT_EQ(CA_OK, 0);
    EXPECT_EQ(CA_ERROR, -1);
    EXPECT_EQ(CA_NO_ARCHIVER, -2);
    EXPECT_EQ(CA_OPEN_FAILED, -3);
    EXPECT_EQ(CA_UNKNOWN_EXT, -4);
    EXPECT_EQ(sizeof(CA_RESULT), 4u);
    EXPECT_EQ(sizeof(EXT_MODE), 4u);

    // The four modes the application composes.
    EXPECT_EQ(EXT_OVERWRITE_DEFAULT | EXT_WITH_PATH | EXT_CONFIRM, 0x50u);
    EXPECT_EQ(EXT_OVERWRITE_DEFAULT | EXT_WITHOUT_PATH | EXT_CONFIRM, 0x60u);
    EXPECT_EQ(EXT_OVERWRITE | EXT_WITH_PATH | EXT_NO_CONFIRM, 0x92u);
    EXPECT_EQ(EXT_OVERWRITE | EXT_WITHOUT_PATH | EXT_NO_CONFIRM, 0xA2u);
    EXT_MODE eMode = EXT_OVERWRITE;
    eMode |= EXT_WITH_PATH;
    EXPECT_EQ(eMode & EXT_OVERWRITE_MASK, EXT_OVERWRITE);
    EXPECT_EQ(eMode & EXT_CONFIRM_MASK, 0u);
}

TEST(Records, DefaultsAreEmptyAndZero) {
    ARCHIVE_PROPERTY stProperty;
    EXPECT_TRUE(stProperty.strProvider.empty() && stProperty.strName.empty() &&
                stProperty.strType.empty() && stProperty.strExt.empty());
    EXPECT_EQ(stProperty.bFind | stProperty.bCompress | stProperty.bExtract | stProperty.bUpdate |
                  stProperty.bRename | stProperty.bDelete,
              0);
    EXPECT_EQ(stProperty.pcArchive, nullptr);

    ARCHIVE_FILE stFile;
    EXPECT_EQ(stFile.nOriginalSize, 0);
    EXPECT_EQ(stFile.nCompressedSize, 0);
    EXPECT_EQ(stFile.nFlag, 0u);
    EXPECT_EQ(stFile.nOSType, 0u);
    EXPECT_EQ(stFile.dRatio, 0.0);
    EXPECT_EQ(stFile.ftUpdate, FILETIME{});
    EXPECT_TRUE(stFile.strFullPath.empty());

    // A fresh node is unclassified, not a file.
    ARCHIVEFILETREE_NODE stNode;
    EXPECT_EQ(stNode.nType, ARCHIVEFILETREE_NODE::NT_NONE);
    EXPECT_EQ(stNode.nType, 3);
    EXPECT_EQ(stNode.nStatus, ARCHIVEFILETREE_NODE::NS_NORMAL);
    EXPECT_EQ(ARCHIVEFILETREE_NODE::NS_EXCLUDED, 2);
    EXPECT_EQ(stNode.pParent, nullptr);
    EXPECT_TRUE(stNode.vecChildren.empty());
    EXPECT_TRUE(stNode.strFileName.empty() && stNode.strOrgFullPath.empty());
    EXPECT_EQ(stNode.nFileCount + stNode.nTotalFileCount, 0);
    EXPECT_EQ(stNode.llOriginalSize + stNode.llCompressedSize + stNode.llTotalOriginalSize +
                  stNode.llTotalCompressedSize,
              0);
}

TEST(Records, CopiesAreIndependent) {
    ARCHIVE_FILE stFile;
    stFile.nOriginalSize = 5'000'000'000;  // past 32 bits
    stFile.nCompressedSize = 7;
    stFile.nFlag = 0x12345678;
    stFile.nOSType = 3;
    stFile.dRatio = 0.25;
    stFile.ftUpdate = {0xFFFFFFFF, 0xFFFFFFFF};
    stFile.strFullPath = L"/文書/a.txt";
    ARCHIVE_FILE stCopy = stFile;
    stFile.strFullPath[1] = L'X';
    EXPECT_EQ(stCopy.nOriginalSize, 5'000'000'000);
    EXPECT_EQ(stCopy.nFlag, 0x12345678u);
    EXPECT_EQ(stCopy.dRatio, 0.25);
    EXPECT_EQ(stCopy.ftUpdate.dwHighDateTime, 0xFFFFFFFFu);
    EXPECT_EQ(stCopy.strFullPath, L"/文書/a.txt");

    BareArchive cArchive;
    ARCHIVE_PROPERTY stProperty;
    stProperty.strProvider = L"Unlha32.dll";
    stProperty.strName = L"LHA書庫";
    stProperty.bFind = 1;
    stProperty.bExtract = 1;
    stProperty.pcArchive = &cArchive;
    ARCHIVE_PROPERTY stOther = stProperty;
    stProperty.strName.clear();
    EXPECT_EQ(stOther.strName, L"LHA書庫");
    EXPECT_EQ(stOther.pcArchive, &cArchive);
}

TEST(ArchiveBase, PropertyReadyAndDefaultsOfTheBase) {
    BareArchive cArchive;
    ARCHIVE_PROPERTY stOut;
    stOut.strName = L"stale";
    stOut.bDelete = 1;
    EXPECT_EQ(cArchive.Property(&stOut), 1);
    EXPECT_TRUE(stOut.strName.empty());
    EXPECT_EQ(stOut.bDelete, 0);
    EXPECT_EQ(stOut.pcArchive, nullptr);

    EXPECT_EQ(cArchive.Ready(), 0);
    EXPECT_EQ(cArchive.Initialize(), 1);
    EXPECT_EQ(cArchive.Uninitialize(), 1);

    ARCHIVE_PROPERTY stDescribed;
    stDescribed.strExt = L".lzh";
    stDescribed.bFind = 1;
    stDescribed.pcArchive = &cArchive;
    cArchive.Describe(stDescribed);
    EXPECT_EQ(cArchive.Property(&stOut), 1);
    EXPECT_EQ(stOut.strExt, L".lzh");
    EXPECT_EQ(stOut.bFind, 1);
    EXPECT_EQ(stOut.pcArchive, &cArchive);
    EXPECT_EQ(cArchive.Property(nullptr), 0);
}
