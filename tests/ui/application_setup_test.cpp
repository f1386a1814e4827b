// The application-wide set-up: Qt's own dialogs speak Japanese, numbers are grouped the
// Japanese way and the interface font is a Japanese one at 9 points. Its own program, because
// it changes the whole application.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>

#include "CApplication.h"

TEST(ApplicationSetup, JapaneseButtonsNumbersAndFont) {
    int argc = 1;
    char szName[] = "ui_setup_tests";
    char* argv[] = {szName, nullptr};
    QApplication app(argc, argv);
    kestrel::Setup_Application(app);

    QMessageBox box(QMessageBox::Warning, "警告", "?", QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QStringLiteral("はい(&Y)"));
    EXPECT_EQ(box.button(QMessageBox::No)->text(), QStringLiteral("いいえ(&N)"));

    EXPECT_EQ(QLocale().toString(1234567), QStringLiteral("1,234,567"));
    EXPECT_EQ(QLocale().toString(3000000000LL), QStringLiteral("3,000,000,000"));

    const QFont font = QApplication::font();
    EXPECT_EQ(font.pointSize(), 9);
    if (QFontDatabase::families().contains("IPAPGothic")) {
        EXPECT_EQ(font.family(), "IPAPGothic");
    }
    EXPECT_EQ(kestrel::Get_UIFont().pointSize(), 9);
}
