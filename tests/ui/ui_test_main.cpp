// GUI tests need one QApplication for the whole run; the tests run offscreen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Settings of the windows made here stay in a scratch folder.
    QTemporaryDir settings;
    qputenv("KESTREL_CONFIG",
            settings.filePath(QStringLiteral("kestrel.config.xml")).toLocal8Bit());
    qputenv("TZ", "UTC");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
