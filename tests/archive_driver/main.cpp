#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLocale>
#include <cstdlib>

int main(int argc, char** argv) {
    setenv("TZ", "UTC", 1);  // fixture times are compared as written
    QGuiApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
