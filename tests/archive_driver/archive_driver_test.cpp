#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QStandardItem>
#include <cmath>
#include <memory>

#include "CArchive_Driver.h"
#include "TestSupport.h"

using kestrel::CArchive_Driver;
using kestrel::ListViewItem;

namespace {

QStringList RowNames(const std::vector<ListViewItem>& vItems) {
    QStringList v;
    for (const ListViewItem& st : vItems) v << QString::fromStdWString(st.pNode->strFileName);
    return v;
}

QStringList Rows(CArchive_Driver& cDriver, const QString& c_strFolder) {
    std::vector<ListViewItem> vItems;
    const kestrel::CIconList* pcImages = nullptr;
    int32_t nCount = -1;
    int64_t llOriginal = -1, llCompressed = -1;
    const int32_t nFilled = cDriver.Get_FileListViewItems(c_strFolder, vItems, pcImages, nCount,
                                                          llOriginal, llCompressed);
    EXPECT_EQ(nFilled, static_cast<int32_t>(vItems.size()));
    EXPECT_EQ(pcImages, &cDriver.IconList());
    return RowNames(vItems);
}

// "Text|Name" of every folder item, depth first.
QStringList TreeShape(const QStandardItem* pItem) {
    QStringList v{pItem->text() + QLatin1Char('|') +
                  pItem->data(CArchive_Driver::NameRole).toString()};
    for (int i = 0; i < pItem->rowCount(); ++i) v += TreeShape(pItem->child(i));
    return v;
}

mode_t Mode(const QString& c_strPath) {
    struct stat st {};
    ::lstat(QFile::encodeName(c_strPath).constData(), &st);
    return st.st_mode & 07777;
}

}  // namespace

TEST(ArchiveDriver, FormatsAreKnownFromConstruction) {
    CArchive_Driver cDriver;
    ASSERT_EQ(cDriver.pstPropertys().size(), 3);
    EXPECT_EQ(cDriver.pstPropertys()[0].strName, QStringLiteral("LHA書庫"));
    EXPECT_EQ(cDriver.pstPropertys()[1].strExt, QStringLiteral(".zip"));
    EXPECT_EQ(cDriver.pstPropertys()[2].strType, QStringLiteral("7-ZIP"));
    ASSERT_NE(cDriver.pstProperty(), nullptr);
    EXPECT_TRUE(cDriver.pstProperty()->strName.isEmpty());
    EXPECT_FALSE(cDriver.bFileOpened());
}

TEST(ArchiveDriver, OpensTheSampleAndBuildsTreeRowsAndFigures) {
    CArchive_Driver cDriver;
    std::vector<int32_t> vnProgress;
    ASSERT_TRUE(cDriver.Open(test::SamplePath(), [&](int32_t n) { vnProgress.push_back(n); }));
    EXPECT_TRUE(cDriver.bFileOpened());
    EXPECT_EQ(cDriver.strFileName(), QStringLiteral("sample.lzh"));
    EXPECT_EQ(cDriver.nFileCount(), 7);
    EXPECT_EQ(cDriver.llFileSize(), QFileInfo(test::SamplePath()).size());
    EXPECT_EQ(cDriver.llExtractFileSize(), 40 + 3890 + 29 + 3072 + 63 + 29 + 0);
    EXPECT_GT(cDriver.llCompressFileSize(), 0);
    EXPECT_DOUBLE_EQ(cDriver.dAvgRatio(),
                     double(cDriver.llCompressFileSize()) / double(cDriver.llExtractFileSize()));
    ASSERT_EQ(vnProgress.size(), 1u);  // seven entries: only the final report
    EXPECT_EQ(vnProgress.back(), 1000);
    ASSERT_NE(cDriver.pstProperty(), nullptr);
    EXPECT_EQ(cDriver.pstProperty()->strName, QStringLiteral("LHA書庫"));
    EXPECT_TRUE(cDriver.pstProperty()->bExtract);
    EXPECT_EQ(cDriver.IconList().Count(), 1);

    QStandardItem* pRoot = nullptr;
    EXPECT_EQ(cDriver.Get_DirectoryTree(pRoot), 1);
    std::unique_ptr<QStandardItem> root(pRoot);
    EXPECT_EQ(TreeShape(pRoot), (QStringList{"[ルート]|/", "文書|/文書/", "画像|/文書/画像/",
                                             "src|/src/", "lib|/src/lib/"}));

    EXPECT_EQ(Rows(cDriver, QStringLiteral("/")), (QStringList{"readme.txt", "空.txt"}));
    EXPECT_EQ(Rows(cDriver, QStringLiteral("/文書/画像/")), (QStringList{"表.csv", "logo.bmp"}));
    // The whole archive: each folder's own files after those of its subfolders.
    EXPECT_EQ(Rows(cDriver, QString()), (QStringList{"表.csv", "logo.bmp", "報告書.txt", "util.h",
                                                     "main.c", "readme.txt", "空.txt"}));
    EXPECT_TRUE(Rows(cDriver, QStringLiteral("relative/")).isEmpty());
    EXPECT_TRUE(Rows(cDriver, QStringLiteral("/missing/")).isEmpty());

    std::vector<ListViewItem> vItems;
    const kestrel::CIconList* pcImages = nullptr;
    int32_t nCount = 0;
    int64_t llOriginal = 0, llCompressed = 0;
    cDriver.Get_FileListViewItems(QStringLiteral("/文書/"), vItems, pcImages, nCount, llOriginal,
                                  llCompressed);
    EXPECT_EQ(nCount, 1);
    EXPECT_EQ(llOriginal, 3890);
    EXPECT_EQ(cDriver.Get_SelectedFilesSize({"/文書/報告書.txt", "/readme.txt", "/none"}),
              3890 + 40);

    EXPECT_TRUE(cDriver.Close());
    EXPECT_FALSE(cDriver.bFileOpened());
    EXPECT_TRUE(cDriver.strFileName().isNull());
    EXPECT_EQ(cDriver.pstProperty(), nullptr);
    EXPECT_TRUE(cDriver.Close());
    EXPECT_EQ(cDriver.FindNode(QStringLiteral("/")), nullptr);  // no tree at all when closed
}

TEST(ArchiveDriver, FailedAndEmptyOpens) {
    QTemporaryDir dir;
    CArchive_Driver cDriver;
    EXPECT_FALSE(cDriver.Open(QString()));
    EXPECT_FALSE(cDriver.bFileOpened());
    EXPECT_EQ(cDriver.IconList().Count(), 1);                   // already reset
    ASSERT_NE(cDriver.FindNode(QStringLiteral("/")), nullptr);  // a lone root

    EXPECT_FALSE(cDriver.Open(dir.filePath(QStringLiteral("a.tar"))));  // unknown extension
    const QString strBad = dir.filePath(QStringLiteral("bad.zip"));
    QFile bad(strBad);
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("this is not a zip archive");
    bad.close();
    EXPECT_FALSE(cDriver.Open(strBad));
    EXPECT_FALSE(cDriver.bFileOpened());

    // A name of a supported type that does not exist yet: opened, but nothing to list and the
    // figures keep their earlier values.
    EXPECT_TRUE(cDriver.Open(dir.filePath(QStringLiteral("new.zip"))));
    EXPECT_TRUE(cDriver.bFileOpened());
    EXPECT_EQ(cDriver.nFileCount(), 0);
    EXPECT_EQ(cDriver.llExtractFileSize(), 0);
    EXPECT_TRUE(Rows(cDriver, QString()).isEmpty());
    cDriver.Close();

    // An archive without entries: no progress at all and a ratio of 0 / 0.
    const QString strEmpty = dir.filePath(QStringLiteral("empty.zip"));
    ASSERT_TRUE(test::MakeZip(strEmpty, {}));
    int nReports = 0;
    ASSERT_TRUE(cDriver.Open(strEmpty, [&](int32_t) { ++nReports; }));
    EXPECT_EQ(nReports, 0);
    EXPECT_EQ(cDriver.nFileCount(), 0);
    EXPECT_TRUE(std::isnan(cDriver.dAvgRatio()));
}

TEST(ArchiveDriver, ProgressAfterEveryEighthEntryAndAtTheEnd) {
    QTemporaryDir dir;
    for (const auto& [nEntries, nReports] : {std::pair{7, 1}, {8, 2}, {17, 3}}) {
        QStringList vstrNames;
        for (int i = 0; i < nEntries; ++i) vstrNames << QStringLiteral("f%1.txt").arg(i);
        const QString strZip = dir.filePath(QStringLiteral("p%1.zip").arg(nEntries));
        ASSERT_TRUE(test::MakeZip(strZip, vstrNames));
        CArchive_Driver cDriver;
        std::vector<int32_t> vn;
        ASSERT_TRUE(cDriver.Open(strZip, [&](int32_t n) { vn.push_back(n); }));
        EXPECT_EQ(static_cast<int>(vn.size()), nReports) << nEntries;
        EXPECT_TRUE(std::is_sorted(vn.begin(), vn.end()));
        EXPECT_EQ(vn.back(), 1000);
    }
}

TEST(ArchiveDriver, WholeArchiveOrderAndFoldersWithoutFiles) {
    QTemporaryDir dir;
    const QString strZip = dir.filePath(QStringLiteral("order.zip"));
    ASSERT_TRUE(
        test::MakeZip(strZip, {"x.txt", "a/y.txt", "a/b/z.txt", "only/sub/deep.txt", "a.b/c.txt"}));
    CArchive_Driver cDriver;
    ASSERT_TRUE(cDriver.Open(strZip));
    EXPECT_EQ(Rows(cDriver, QString()),
              (QStringList{"z.txt", "y.txt", "deep.txt", "c.txt", "x.txt"}));
    EXPECT_TRUE(Rows(cDriver, QStringLiteral("/only/")).isEmpty());

    QStandardItem* pRoot = nullptr;
    cDriver.Get_DirectoryTree(pRoot);
    std::unique_ptr<QStandardItem> root(pRoot);
    EXPECT_EQ(TreeShape(pRoot), (QStringList{"[ルート]|/", "a|/a/", "b|/a/b/", "only|/only/",
                                             "sub|/only/sub/", "a.b|/a.b/"}));

    QStringList vstrFiles{"stale"};
    EXPECT_EQ(cDriver.Get_DirectoryFiles(QStringLiteral("/a/"), vstrFiles, false), 1);
    EXPECT_EQ(vstrFiles, (QStringList{"/a/y.txt"}));
    EXPECT_EQ(cDriver.Get_DirectoryFiles(QStringLiteral("/a/"), vstrFiles, true), 2);
    EXPECT_EQ(vstrFiles, (QStringList{"/a/b/z.txt", "/a/y.txt"}));
    EXPECT_EQ(cDriver.Get_DirectoryFiles(QStringLiteral("/only/"), vstrFiles, false), 0);
    EXPECT_TRUE(vstrFiles.isEmpty());
    EXPECT_EQ(cDriver.Get_DirectoryFiles(QString(), vstrFiles, false), 5);  // always everything
    EXPECT_EQ(vstrFiles.first(), QStringLiteral("/a/b/z.txt"));
    EXPECT_EQ(vstrFiles.last(), QStringLiteral("/x.txt"));
    vstrFiles = QStringList{"kept"};
    EXPECT_EQ(cDriver.Get_DirectoryFiles(QStringLiteral("a/"), vstrFiles, true), 0);
    EXPECT_EQ(vstrFiles, QStringList{"kept"});
}

TEST(ArchiveDriver, TemporaryFoldersLiveAndDieInsideTheirOwnFolder) {
    QTemporaryDir base;
    const QString strBase = base.path() + QLatin1Char('/');
    CArchive_Driver cDriver;
    EXPECT_FALSE(cDriver.Cleanup_TempDirectory());  // nothing yet
    EXPECT_TRUE(cDriver.Generate_ExtractTempDirectoryName().isEmpty());

    QString strError;
    ASSERT_TRUE(cDriver.Set_TempDirectory(strBase, &strError)) << strError.toStdString();
    const QString strFirst = cDriver.strTempDirectory();
    EXPECT_TRUE(strFirst.startsWith(strBase + QStringLiteral("kestrel/t")));
    EXPECT_TRUE(strFirst.endsWith(QLatin1Char('/')));
    EXPECT_EQ(Mode(strFirst), 0700u);

    // Files and a link that points out of the instance folder.
    const QString strOutside = strBase + QStringLiteral("outside/");
    QDir().mkpath(strOutside);
    QFile keep(strOutside + QStringLiteral("keep.txt"));
    ASSERT_TRUE(keep.open(QIODevice::WriteOnly));
    keep.close();
    QDir().mkpath(strFirst + QStringLiteral("t1/sample.lzh/d"));
    ASSERT_EQ(::symlink(QFile::encodeName(strOutside).constData(),
                        QFile::encodeName(strFirst + QStringLiteral("t1/link")).constData()),
              0);

    ASSERT_TRUE(cDriver.Set_TempDirectory(base.path()));  // also without the final "/"
    EXPECT_FALSE(QFileInfo::exists(strFirst));
    EXPECT_NE(cDriver.strTempDirectory(), strFirst);
    EXPECT_TRUE(QFile::exists(strOutside + QStringLiteral("keep.txt")));

    ASSERT_TRUE(cDriver.Open(test::SamplePath()));
    const QString strStage = cDriver.Generate_ExtractTempDirectoryName();
    EXPECT_TRUE(strStage.startsWith(cDriver.strTempDirectory()));
    EXPECT_TRUE(strStage.endsWith(QStringLiteral("/sample.lzh/")));
    EXPECT_FALSE(QFileInfo::exists(strStage.section(QLatin1Char('/'), 0, -3)));

    // An existing folder is never adopted (it would be deleted later).
    EXPECT_FALSE(cDriver.Create_TempDirectory(strOutside, &strError));
    EXPECT_FALSE(strError.isEmpty());

    const QString strInstance = cDriver.strTempDirectory();
    EXPECT_TRUE(cDriver.Cleanup_TempDirectory());
    EXPECT_FALSE(QFileInfo::exists(strInstance));
    EXPECT_TRUE(QFileInfo::exists(strBase + QStringLiteral("kestrel")));
    EXPECT_TRUE(QFile::exists(strOutside + QStringLiteral("keep.txt")));
}

TEST(ArchiveDriver, ASharedFolderThatIsALinkIsNotUsed) {
    QTemporaryDir base, elsewhere;
    ASSERT_EQ(::symlink(QFile::encodeName(elsewhere.path()).constData(),
                        QFile::encodeName(base.filePath(QStringLiteral("kestrel"))).constData()),
              0);
    CArchive_Driver cDriver;
    ASSERT_TRUE(cDriver.Set_TempDirectory(base.path() + QLatin1Char('/')));
    EXPECT_TRUE(cDriver.strTempDirectory().startsWith(
        base.path() + QStringLiteral("/kestrel-%1/t").arg(::getuid())));
    EXPECT_TRUE(QDir(elsewhere.path()).isEmpty());

    // A base that cannot hold folders is reported, not ignored.
    QString strError;
    EXPECT_FALSE(cDriver.Set_TempDirectory(QStringLiteral("/proc/"), &strError));
    EXPECT_FALSE(strError.isEmpty());
    EXPECT_TRUE(cDriver.strTempDirectory().isEmpty());
}

TEST(ArchiveDriver, ExtractionRequestsComposeTheirMode) {
    QTemporaryDir dir;
    CArchive_Driver cDriver;
    ASSERT_TRUE(cDriver.Open(test::SamplePath()));
    const QStringList vstrFiles{"/文書/画像/表.csv", "/readme.txt"};

    const QString strWithPaths = dir.filePath(QStringLiteral("with/"));
    EXPECT_EQ(cDriver.Extract(vstrFiles, strWithPaths, true, true), 2);
    EXPECT_EQ(test::ReadAll(strWithPaths + QStringLiteral("文書/画像/表.csv")),
              QByteArray("名前,値\nソフト,1\n表,2\n"));
    EXPECT_TRUE(QFile::exists(strWithPaths + QStringLiteral("readme.txt")));

    const QString strFlat = dir.filePath(QStringLiteral("flat/"));
    EXPECT_EQ(cDriver.Extract(vstrFiles, strFlat, true, false), 2);
    EXPECT_TRUE(QFile::exists(strFlat + QStringLiteral("表.csv")));
    EXPECT_FALSE(QFileInfo::exists(strFlat + QStringLiteral("文書")));

    // Without overwriting, an existing file stays as it was.
    QFile existing(strFlat + QStringLiteral("readme.txt"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("mine");
    existing.close();
    cDriver.Extract({QStringLiteral("/readme.txt")}, strFlat, false, false);
    EXPECT_EQ(test::ReadAll(strFlat + QStringLiteral("readme.txt")), QByteArray("mine"));
    EXPECT_EQ(cDriver.Extract({QStringLiteral("/readme.txt")}, strFlat, true, false), 1);
    EXPECT_NE(test::ReadAll(strFlat + QStringLiteral("readme.txt")), QByteArray("mine"));

    EXPECT_LT(cDriver.Extract({QStringLiteral("/no such entry")}, strFlat, true, true), 0);
    // The archiver's own words reach the caller, to be shown to the user.
    EXPECT_FALSE(cDriver.strLastExtractMessage().isEmpty());
}
