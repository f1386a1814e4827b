#include <gtest/gtest.h>

#include "CArchive_Unify_Facade.h"
#include "TestSupport.h"

using shelf_cli::CArchive_Unify;
using shelf_cli::MStringToWchar;
namespace FA = shelf_cli::NArchive;
namespace NA = shelf::NArchive;

TEST(Facade, WithoutNativeObjectEveryAnswerIsTheEmptyOne) {
    CArchive_Unify cArchive;
    cArchive.Release();
    cArchive.Release();  // a second release does nothing
    EXPECT_FALSE(cArchive.HasNative());
    EXPECT_FALSE(cArchive.ClassInitialize());
    EXPECT_FALSE(cArchive.Initialize());
    EXPECT_FALSE(cArchive.Uninitialize());
    EXPECT_FALSE(cArchive.Ready());
    EXPECT_EQ(cArchive.Create(nullptr, test::SamplePath()), NA::CA_ERROR);
    EXPECT_EQ(cArchive.Open(nullptr, test::SamplePath()), NA::CA_ERROR);
    EXPECT_FALSE(cArchive.Close());
    FA::ARCHIVE_PROPERTY stProperty;
    stProperty.strName = QStringLiteral("kept");
    EXPECT_FALSE(cArchive.Property(stProperty));
    EXPECT_FALSE(cArchive.EnumProperty(0, stProperty));
    EXPECT_EQ(stProperty.strName, QStringLiteral("kept"));
    NA::ARCHIVE_FILE stFile;
    EXPECT_EQ(cArchive.FindFirst(QStringLiteral("*"), &stFile), NA::CA_ERROR);
    EXPECT_EQ(cArchive.FindNext(&stFile), NA::CA_ERROR);
    EXPECT_FALSE(cArchive.FindEnd());
    EXPECT_EQ(cArchive.FindProgress(), 0);
    EXPECT_EQ(cArchive.GetArchiveFileSize(), 0);
    EXPECT_EQ(cArchive.Extract({}, QStringLiteral("/tmp/"), NA::EXT_OVERWRITE), -1);
    cArchive.ClassUninitialize();
}

TEST(Facade, StringConversionKeepsEveryCharacter) {
    const QString str = QStringLiteral("表ソ𠮷a");  // a character outside the BMP counts once
    wchar_t szBuffer[8];
    std::fill(std::begin(szBuffer), std::end(szBuffer), L'#');
    EXPECT_EQ(MStringToWchar(szBuffer, 4, str), -1);
    EXPECT_EQ(szBuffer[0], L'#');  // nothing written
    EXPECT_EQ(MStringToWchar(szBuffer, 5, str), 4);
    EXPECT_EQ(std::wstring(szBuffer), std::wstring(L"表ソ\U00020BB7a"));

    std::wstring wstr = L"old";
    EXPECT_EQ(MStringToWchar(wstr, str), 4);
    EXPECT_EQ(wstr.size(), 4u);
    EXPECT_EQ(wstr, std::wstring(L"表ソ\U00020BB7a"));
    EXPECT_EQ(MStringToWchar(wstr, QString()), 0);
    EXPECT_TRUE(wstr.empty());
    EXPECT_EQ(shelf_cli::WcharToMString(L"表ソ\U00020BB7a"), str);
}

TEST(Facade, MirrorsMapFlagsAndCopyStrings) {
    NA::ARCHIVE_PROPERTY stNative;
    stNative.strName = L"LHA書庫";
    stNative.bFind = 2;  // any non-zero value is true here
    stNative.bDelete = 0;
    FA::ARCHIVE_PROPERTY stMirror(stNative);
    EXPECT_EQ(stMirror.strName, QStringLiteral("LHA書庫"));
    EXPECT_TRUE(stMirror.bFind);
    EXPECT_FALSE(stMirror.bDelete);

    shelf::NArchive::ARCHIVEFILETREE_NODE stNode;
    stNode.strFileName = L"a.txt";
    stNode.stFile.nOriginalSize = 3'000'000'000;
    stNode.stFile.dRatio = 0.5;
    stNode.stFile.strFullPath = L"/d/a.txt";
    FA::ARCHIVEFILETREE_NODE stNodeMirror(stNode);
    EXPECT_EQ(stNodeMirror.strFileName, QStringLiteral("a.txt"));
    EXPECT_EQ(stNodeMirror.stFile.nOriginalSize, 3'000'000'000);
    EXPECT_EQ(stNodeMirror.stFile.dRatio, 0.5);
    EXPECT_EQ(stNodeMirror.stFile.strFullPath, QStringLiteral("/d/a.txt"));
    FA::ARCHIVE_FILE stEmpty;
    EXPECT_TRUE(stEmpty.strFullPath.isEmpty());
    EXPECT_EQ(stEmpty.dRatio, 0.0);
}

TEST(Facade, DescribesFormatsAndTheOpenedArchive) {
    CArchive_Unify cArchive;
    ASSERT_TRUE(cArchive.ClassInitialize());
    FA::ARCHIVE_PROPERTY stProperty;
    ASSERT_TRUE(cArchive.Property(stProperty));
    EXPECT_TRUE(stProperty.strName.isEmpty());
    EXPECT_FALSE(stProperty.bFind || stProperty.bExtract);

    QStringList vstrTypes;
    for (int32_t i = 0; i < 3; ++i) {
        ASSERT_TRUE(cArchive.EnumProperty(i, stProperty)) << i;
        vstrTypes << stProperty.strType;
    }
    EXPECT_EQ(vstrTypes, (QStringList{"LHA", "ZIP", "7-ZIP"}));
    stProperty.strName = QStringLiteral("kept");
    EXPECT_FALSE(cArchive.EnumProperty(3, stProperty));
    EXPECT_EQ(stProperty.strName, QStringLiteral("kept"));

    // A name outside any legacy code page reaches the engine unchanged.
    QTemporaryDir dir;
    const QString strCopy = dir.filePath(QStringLiteral("見本 𠮷.LZH"));
    ASSERT_TRUE(QFile::copy(test::SamplePath(), strCopy));
    ASSERT_TRUE(cArchive.Initialize());
    ASSERT_EQ(cArchive.Create(nullptr, strCopy), NA::CA_OPENED);
    ASSERT_TRUE(cArchive.Property(stProperty));
    EXPECT_EQ(stProperty.strName, QStringLiteral("LHA書庫"));
    EXPECT_EQ(stProperty.strExt, QStringLiteral(".lzh"));
    EXPECT_TRUE(stProperty.bFind && stProperty.bExtract);
    EXPECT_FALSE(stProperty.bCompress || stProperty.bUpdate || stProperty.bRename ||
                 stProperty.bDelete);

    NA::ARCHIVE_FILE stFile;
    int nEntries = 0;
    for (auto e = cArchive.FindFirst(QStringLiteral("*"), &stFile); e == NA::CA_OK;
         e = cArchive.FindNext(&stFile))
        ++nEntries;
    EXPECT_EQ(nEntries, 7);
    EXPECT_GT(cArchive.GetArchiveFileSize(), 0);
    EXPECT_EQ(cArchive.FindProgress(), 1000);

    // After FindEnd the archive stays current: extraction still works.
    EXPECT_TRUE(cArchive.FindEnd());
    const QString strOut = dir.filePath(QStringLiteral("out/"));
    EXPECT_EQ(cArchive.Extract({QStringLiteral("/readme.txt")}, strOut,
                               NA::EXT_OVERWRITE | NA::EXT_WITH_PATH | NA::EXT_NO_CONFIRM),
              1);
    EXPECT_TRUE(QFile::exists(strOut + QStringLiteral("readme.txt")));
    // An empty request hands over an empty list and succeeds with 0.
    EXPECT_EQ(
        cArchive.Extract({}, strOut, NA::EXT_OVERWRITE | NA::EXT_WITH_PATH | NA::EXT_NO_CONFIRM),
        0);
    // Extraction let the handle go, so there is nothing left to close.
    EXPECT_FALSE(cArchive.Close());
    ASSERT_EQ(cArchive.Create(nullptr, strCopy), NA::CA_OPENED);
    EXPECT_TRUE(cArchive.Close());
    EXPECT_FALSE(cArchive.Close());
}
