// The window's tests need one QApplication for the whole run; they run offscreen in UTC, with
// settings in a scratch folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <optional>

#include "CApplication.h"
#include "support/Window.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir settings;
    qputenv("KESTREL_CONFIG",
            settings.filePath(QStringLiteral("kestrel.config.xml")).toLocal8Bit());
    qputenv("TZ", "UTC");
    std::optional<kestrel::CJapaneseSystemLocale> oLocale(std::in_place);  // as the program does
    QApplication app(argc, argv);
    oLocale.reset();
    kestrel::Setup_Application(app);
    kestrel::test::FailOnMessageBoxes();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
