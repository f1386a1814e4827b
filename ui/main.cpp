// Program entry: one window, one archive.
#include <QApplication>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <vector>

#include "CApplication.h"
#include "CCommandLine.h"
#include "CScreenshot.h"
#include "Form_FilerMain.h"

int main(int argc, char** argv) {
    // Without TZ, every local-time conversion re-reads /etc/localtime.
    if (!std::getenv("TZ")) setenv("TZ", ":/etc/localtime", 1);
    tzset();
    // A file grown past the size limit fails its write (and is removed) instead of killing us
    // half-way with a cut file left behind.
    std::signal(SIGXFSZ, SIG_IGN);

    // Answered before the application exists: --help needs no display.
    QStringList lstArgs;
    for (int i = 0; i < argc; ++i) lstArgs << QString::fromLocal8Bit(argv[i]);
    const kestrel::CCommandLine stCommandLine = kestrel::CCommandLine::Parse(lstArgs);
    switch (stCommandLine.eAction) {
        case kestrel::CCommandLine::ACTION_HELP:
            std::fputs(kestrel::CCommandLine::HelpText().toUtf8().constData(), stdout);
            return 0;
        case kestrel::CCommandLine::ACTION_VERSION:
            std::fputs(kestrel::CCommandLine::VersionText().toUtf8().constData(), stdout);
            return 0;
        case kestrel::CCommandLine::ACTION_ERROR:
            std::fprintf(stderr, "kestrel: %s\n「kestrel --help」で使い方を表示します。\n",
                         stCommandLine.strError.toUtf8().constData());
            return 2;
        case kestrel::CCommandLine::ACTION_RUN:
            break;
    }

    // The platform travels as Qt's own option, not in the environment, so that the programs
    // started from here (viewers) make their own choice.
    std::vector<char*> vArgv(argv, argv + argc);
    QByteArray baPlatformOption("-platform");
    QByteArray baPlatform = kestrel::Choose_Platform(stCommandLine).toLatin1();
    if (!baPlatform.isEmpty()) {
        vArgv.insert(vArgv.begin() + 1, {baPlatformOption.data(), baPlatform.data()});
    }
    int nArgc = static_cast<int>(vArgv.size());
    vArgv.push_back(nullptr);

    std::optional<kestrel::CJapaneseSystemLocale> oLocale(std::in_place);
    QApplication app(nArgc, vArgv.data());
    oLocale.reset();
    kestrel::Setup_Application(app);
    kestrel::Quit_OnTerminationSignals(app);
    kestrel::Form_FilerMain frmMain;
    kestrel::Install_ScreenshotHook(frmMain);
    frmMain.show();
    app.exec();
    return 0;
}
