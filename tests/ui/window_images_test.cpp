// The window's images: embedded, replaced one by one from the image folder, magenta
// transparent, and never lost to a replacement that is no image.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QIcon>
#include <QTemporaryDir>

#include "CImageList.h"
#include "UiTestSupport.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

QImage Solid(QColor color) {
    QImage img(16, 16, QImage::Format_RGB32);
    img.fill(color);
    return img;
}

void ExpectAllEmbeddedExcept(const Form_FilerMain& c_frm, const QString& c_strReplaced) {
    for (const FormName::IMAGE_ITEMS& c_use : FormName::c_aImageItems) {
        if (c_strReplaced == c_use.pszFile) continue;
        const QImage imgEmbedded = EmbeddedImage(c_use.pszFile);
        for (const char* pszItem : c_use.lstItems) {
            QAction* pItem = FindItem(c_frm, pszItem);
            ASSERT_NE(pItem, nullptr) << pszItem;
            EXPECT_TRUE(SameImage(IconImage(pItem->icon()), imgEmbedded)) << pszItem;
        }
    }
    for (const char* pszTree : {"Tree_Close.png", "Tree_Open.png"}) {
        if (c_strReplaced == pszTree) continue;
        EXPECT_TRUE(
            SameImage(c_frm.frmTreeView_ImageList.Get(pszTree).toImage(), EmbeddedImage(pszTree)))
            << pszTree;
    }
}

}  // namespace

TEST(WindowImages, EveryImageIsEmbeddedAndDrawn) {
    for (const char* pszFile :
         {"File_New.png", "File_Open.png", "File_Save.png", "Edit_Arc_Thaw.png", "Edit_Arc_Add.png",
          "Edit_Select_Thaw.png", "Edit_Select_Open.png", "Edit_Select_Rename.png",
          "Edit_Select_Delete.png", "Edit_Arc_Check.png", "Option_Option.png", "Tree_Close.png",
          "Tree_Open.png", "File_Generic.png"}) {
        const QImage img = EmbeddedImage(pszFile);
        ASSERT_EQ(img.size(), QSize(16, 16)) << pszFile;
        // Something is drawn, and its background is see-through.
        int nOpaque = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) nOpaque += qAlpha(img.pixel(x, y)) == 255;
        EXPECT_GT(nOpaque, 30) << pszFile;
        EXPECT_LT(nOpaque, 256) << pszFile;
    }
    const QIcon icon(QStringLiteral(":/kestrel/Application.ico"));
    for (int nSize : {16, 32}) {
        EXPECT_EQ(icon.pixmap(QSize(nSize, nSize)).size(), QSize(nSize, nSize));
    }
}

TEST(WindowImages, MissingImageFolderGivesTheEmbeddedImages) {
    TestWindow w = MakeWindow(QStringLiteral("/nonexistent-kestrel-images/"));
    ExpectAllEmbeddedExcept(*w.frm, QString());
}

TEST(WindowImages, ReplacementChangesOnlyItsOwnImage) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(Solid(Qt::blue).save(dir.filePath("Tree_Open.png")));
    TestWindow w = MakeWindow(dir.path() + '/');
    EXPECT_TRUE(
        SameImage(w.frm->frmTreeView_ImageList.Get("Tree_Open.png").toImage(), Solid(Qt::blue)));
    ExpectAllEmbeddedExcept(*w.frm, QStringLiteral("Tree_Open.png"));

    // A tool image replaces the menu's and the tool bar's alike.
    ASSERT_TRUE(Solid(Qt::green).save(dir.filePath("File_New.png")));
    TestWindow w2 = MakeWindow(dir.path() + '/');
    for (const char* pszItem : {FormName::frmMenu_File_New, FormName::frmToolBar_File_New}) {
        EXPECT_TRUE(SameImage(IconImage(FindItem(*w2.frm, pszItem)->icon()), Solid(Qt::green)))
            << pszItem;
    }
}

TEST(WindowImages, UnreadableReplacementFallsBackToTheEmbeddedImage) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char* pszFile : {"File_Open.png", "Tree_Close.png"}) {
        QFile file(dir.filePath(pszFile));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("this is not a picture");
    }
    // A folder under an image's name is no image either.
    ASSERT_TRUE(QDir(dir.path()).mkdir("Tree_Open.png"));
    TestWindow w = MakeWindow(dir.path() + '/');
    ExpectAllEmbeddedExcept(*w.frm, QString());
}

TEST(WindowImages, MagentaIsTransparent) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QImage img = Solid(QColor(255, 0, 255));
    img.setPixelColor(5, 6, QColor(255, 0, 254));  // close to magenta is still a colour
    img.setPixelColor(7, 7, Qt::black);
    ASSERT_TRUE(img.save(dir.filePath("Tree_Close.png")));
    const QImage loaded = LoadImage(dir.path() + '/', "Tree_Close.png").toImage();
    ASSERT_EQ(loaded.size(), QSize(16, 16));
    EXPECT_EQ(qAlpha(loaded.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(loaded.pixel(15, 15)), 0);
    EXPECT_EQ(loaded.pixelColor(5, 6), QColor(255, 0, 254));
    EXPECT_EQ(loaded.pixelColor(7, 7), QColor(Qt::black));

    // The embedded images are drawn on magenta, which never shows.
    for (const char* pszFile : {"Tree_Close.png", "File_New.png", "Option_Option.png"}) {
        const QImage embedded = EmbeddedImage(pszFile);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const QRgb rgb = embedded.pixel(x, y);
                EXPECT_FALSE(qAlpha(rgb) != 0 && (rgb & 0xFFFFFF) == 0xFF00FF)
                    << pszFile << " " << x << "," << y;
            }
        }
    }
}

TEST(WindowImages, ImageListKeepsKeysInOrder) {
    CImageList list;
    QPixmap red(16, 16);
    red.fill(Qt::red);
    list.Add("b.png", red);
    list.Add("a.png", QPixmap());
    EXPECT_EQ(list.Keys(), QStringList({"b.png", "a.png"}));
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Get("b.png").toImage().pixelColor(0, 0), QColor(Qt::red));
    EXPECT_TRUE(list.Get("missing.png").isNull());
}
