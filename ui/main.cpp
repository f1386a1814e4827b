// Program entry: one window, one archive.
#include <QApplication>
#include <csignal>
#include <cstdlib>
#include <ctime>

#include "CApplication.h"
#include "CScreenshot.h"
#include "Form_FilerMain.h"

int main(int argc, char** argv) {
    // Without TZ, every local-time conversion re-reads /etc/localtime.
    if (!std::getenv("TZ")) setenv("TZ", ":/etc/localtime", 1);
    tzset();
    // A file grown past the size limit fails its write (and is removed) instead of killing us
    // half-way with a cut file left behind.
    std::signal(SIGXFSZ, SIG_IGN);

    QApplication app(argc, argv);
    kestrel::Setup_Application(app);
    kestrel::Form_FilerMain frmMain;
    kestrel::Install_ScreenshotHook(frmMain);
    frmMain.show();
    app.exec();
    return 0;
}
