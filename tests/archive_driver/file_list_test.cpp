#include <gtest/gtest.h>

#include "CArchive_Driver.h"
#include "CFileListModel.h"
#include "CFormat.h"
#include "TestSupport.h"

using kestrel::CArchive_Driver;
using kestrel::CFileListModel;
using kestrel::ListViewItem;

namespace {

void Fill(CArchive_Driver& cDriver, CFileListModel& cModel, const QString& c_strFolder) {
    std::vector<ListViewItem> vItems;
    const kestrel::CIconList* pcImages = nullptr;
    int32_t nCount = 0;
    int64_t llOriginal = 0, llCompressed = 0;
    cDriver.Get_FileListViewItems(c_strFolder, vItems, pcImages, nCount, llOriginal, llCompressed);
    cModel.SetItems(std::move(vItems), pcImages);
}

QString Cell(const CFileListModel& cModel, int nRow, int nColumn, int nRole = Qt::DisplayRole) {
    return cModel.data(cModel.index(nRow, nColumn), nRole).toString();
}

}  // namespace

TEST(FileList, ColumnsOfTheSampleRows) {
    CArchive_Driver cDriver;
    ASSERT_TRUE(cDriver.Open(test::SamplePath()));
    CFileListModel cModel(&cDriver);
    Fill(cDriver, cModel, QStringLiteral("/文書/"));
    ASSERT_EQ(cModel.rowCount(), 1);
    ASSERT_EQ(cModel.columnCount(), 7);
    EXPECT_EQ(Cell(cModel, 0, 0), QStringLiteral("報告書.txt"));
    EXPECT_EQ(Cell(cModel, 0, 1), QStringLiteral("平文テキストドキュメント"));
    EXPECT_EQ(Cell(cModel, 0, 2), QStringLiteral("3,890"));
    EXPECT_EQ(Cell(cModel, 0, 4), kestrel::CFormat::Ratio(cModel.Tag(0).dRatio));
    EXPECT_EQ(Cell(cModel, 0, 5), QStringLiteral("2024/05/01 12:34:56"));
    EXPECT_EQ(Cell(cModel, 0, 6), QStringLiteral("/文書/"));
    EXPECT_EQ(Cell(cModel, 0, 0, CFileListModel::NameRole), QStringLiteral("/文書/報告書.txt"));
    const auto stTag = cModel.data(cModel.index(0, 0), CFileListModel::TagRole)
                           .value<shelf_cli::NArchive::ARCHIVE_FILE>();
    EXPECT_EQ(stTag.nOriginalSize, 3890);
    EXPECT_EQ(stTag.strFullPath, QStringLiteral("/文書/報告書.txt"));

    const QStringList vstrHeaders{"ファイル名", "ファイルの種類", "サイズ",  "圧縮サイズ",
                                  "圧縮率",     "更新日時",       "フォルダ"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(cModel.headerData(i, Qt::Horizontal).toString(), vstrHeaders[i]);
        const int nAlign = cModel.headerData(i, Qt::Horizontal, Qt::TextAlignmentRole).toInt();
        EXPECT_EQ(bool(nAlign & Qt::AlignRight), i >= 2 && i <= 4) << i;
    }

    // Rows point into the tree: clearing the model comes before closing the archive.
    cModel.Clear();
    EXPECT_EQ(cModel.rowCount(), 0);
}

TEST(FileList, StripingFollowsThePositionInTheWholeList) {
    CArchive_Driver cDriver;
    ASSERT_TRUE(cDriver.Open(test::SamplePath()));
    CFileListModel cModel(&cDriver);
    cDriver.setBListViewRowsPluralColor(true);
    Fill(cDriver, cModel, QString());
    ASSERT_EQ(cModel.rowCount(), 7);
    for (int i = 0; i < 7; ++i) {
        const QColor clr = cModel.data(cModel.index(i, 3), Qt::BackgroundRole).value<QColor>();
        EXPECT_EQ(clr, i % 2 == 0 ? QColor(240, 255, 255) : QColor(Qt::white)) << i;
    }
    cDriver.setBListViewRowsPluralColor(false);
    Fill(cDriver, cModel, QString());
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(cModel.data(cModel.index(i, 0), Qt::BackgroundRole).value<QColor>(),
                  QColor(Qt::white));
}

TEST(FileList, TypeNamesAndTheirFallbacks) {
    QTemporaryDir dir;
    const QString strZip = dir.filePath(QStringLiteral("types.zip"));
    ASSERT_TRUE(test::MakeZip(strZip, {"a.xyz", "Makefile", "b.TXT", "c.txt", "d.Abc", "e.txt"}));
    CArchive_Driver cDriver;
    ASSERT_TRUE(cDriver.Open(strZip));
    CFileListModel cModel(&cDriver);
    Fill(cDriver, cModel, QStringLiteral("/"));
    ASSERT_EQ(cModel.rowCount(), 6);
    EXPECT_EQ(Cell(cModel, 0, 1), QStringLiteral("xyz ファイル"));
    EXPECT_EQ(cModel.data(cModel.index(0, 0), CFileListModel::ImageIndexRole).toInt(), 0);
    EXPECT_EQ(Cell(cModel, 1, 1), QStringLiteral("ファイル"));
    EXPECT_EQ(Cell(cModel, 4, 1), QStringLiteral("Abc ファイル"));
    // Two spellings of one extension: two cache entries, one type name.
    EXPECT_EQ(Cell(cModel, 2, 1), Cell(cModel, 3, 1));
    EXPECT_NE(cModel.Item(2).nExtIndex, cModel.Item(3).nExtIndex);
    EXPECT_EQ(cModel.Item(3).nExtIndex, cModel.Item(5).nExtIndex);
    EXPECT_FALSE(cModel.data(cModel.index(0, 0), Qt::DecorationRole).value<QIcon>().isNull());

    EXPECT_EQ(CArchive_Driver::GetFileExt(QStringLiteral("a.tar.gz")), QStringLiteral(".gz"));
    EXPECT_EQ(CArchive_Driver::GetFileExt(QStringLiteral("README")), QStringLiteral("."));
    EXPECT_EQ(CArchive_Driver::GetDefaultFileType(QStringLiteral(".Abc")),
              QStringLiteral("Abc ファイル"));
    EXPECT_EQ(cDriver.GetExtInfo(QStringLiteral(".xyz")).strType, QStringLiteral("xyz ファイル"));

    // A reopen starts over with the single generic image.
    const int nImages = cDriver.IconList().Count();
    EXPECT_GE(nImages, 1);
    cModel.Clear();
    cDriver.Close();
    ASSERT_TRUE(cDriver.Open(strZip));
    EXPECT_EQ(cDriver.IconList().Count(), 1);
}

TEST(FileList, Formats) {
    using namespace kestrel::CFormat;
    EXPECT_EQ(Number(1234567), QStringLiteral("1,234,567"));
    EXPECT_EQ(Number(3'000'000'000), QStringLiteral("3,000,000,000"));
    EXPECT_EQ(Number(0), QStringLiteral("0"));
    EXPECT_EQ(Ratio(0.4567), QStringLiteral("45.7%"));
    EXPECT_EQ(Ratio(1.234), QStringLiteral("123.4%"));
    EXPECT_EQ(Ratio(12.3456), QStringLiteral("1,234.6%"));
    EXPECT_EQ(Decimal(50.0, 2), QStringLiteral("50.00"));
    EXPECT_EQ(FileTime({0xFFFFFFFF, 0xFFFFFFFF}), QStringLiteral("??\\?? ??:??:??"));
    // 2024-05-01 12:34:56 and two leap-day boundaries, in 100-ns units since 1601.
    auto fnTicks = [](int64_t nUnixSeconds) {
        const uint64_t n = uint64_t(nUnixSeconds + 11644473600LL) * 10'000'000u;
        return shelf::NArchive::FILETIME{uint32_t(n), uint32_t(n >> 32)};
    };
    EXPECT_EQ(FileTime(fnTicks(1714566896)), QStringLiteral("2024/05/01 12:34:56"));
    EXPECT_EQ(FileTime(fnTicks(951782400)), QStringLiteral("2000/02/29 00:00:00"));
    EXPECT_EQ(FileTime(fnTicks(315532800)), QStringLiteral("1980/01/01 00:00:00"));
    EXPECT_EQ(FileTime(fnTicks(4354819199LL)), QStringLiteral("2107/12/31 23:59:59"));
    EXPECT_EQ(FileTime({0, 0}), QStringLiteral("1601/01/01 00:00:00"));
}
