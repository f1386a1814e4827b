#include "CScreenshot.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>

#include "CConfig.h"
#include "CForm_FilerMain_Driver.h"
#include "Form_About.h"
#include "Form_Config.h"
#include "Form_FilerMain.h"

namespace kestrel {

namespace {

constexpr int c_nSettleMs = 1000;
constexpr int c_nGiveUpMs = 120000;

void SaveAndQuit(QWidget* pSubject, const QString& c_strPath) {
    const bool bSaved = pSubject->grab().save(c_strPath, "PNG");
    if (!bSaved) std::fprintf(stderr, "kestrel: cannot write %s\n", qPrintable(c_strPath));
    // The picture has no title bar: the title goes to the caller as text.
    std::printf("%s\n", pSubject->window()->windowTitle().toUtf8().constData());
    QCoreApplication::exit(bSaved ? 0 : 1);
}

}  // namespace

void Install_ScreenshotHook(Form_FilerMain& frmMain) {
    const QString strPath = qEnvironmentVariable("KESTREL_SCREENSHOT");
    if (strPath.isEmpty()) return;
    const QString strWhat = qEnvironmentVariable("KESTREL_SCREENSHOT_WHAT");

    auto* pTimer = new QTimer(&frmMain);
    QElapsedTimer clock;
    clock.start();
    pTimer->setInterval(100);
    QObject::connect(
        pTimer, &QTimer::timeout, &frmMain, [&frmMain, pTimer, clock, strPath, strWhat] {
            const qint64 nElapsed = clock.elapsed();
            const bool bOpening = frmMain.pForm() && frmMain.pForm()->bFileOpenMode();
            if (!frmMain.isVisible() || nElapsed < c_nSettleMs ||
                (bOpening && nElapsed < c_nGiveUpMs)) {
                return;
            }
            pTimer->stop();
            if (strWhat == QLatin1String("about")) {
                auto* pAbout = new Form_About(&frmMain);
                pAbout->show();
                QTimer::singleShot(300, pAbout,
                                   [pAbout, strPath] { SaveAndQuit(pAbout, strPath); });
            } else if (strWhat.startsWith(QLatin1String("config"))) {
                // "config" or "config:Viewer": the options dialog on that page.
                auto* pConfig = new STConfig(frmMain.pForm()->pcConfig()->pstConfig());
                auto* pDialog = new Form_Config(pConfig, &frmMain);
                if (auto* pPages = pDialog->findChild<QTreeWidget*>(QStringLiteral("frmTreeView"));
                    pPages && strWhat.endsWith(QLatin1String(":Viewer")))
                    pPages->setCurrentItem(pPages->topLevelItem(1));
                pDialog->show();
                QTimer::singleShot(300, pDialog,
                                   [pDialog, strPath] { SaveAndQuit(pDialog, strPath); });
            } else if (auto* pMenu = frmMain.findChild<QMenu*>(strWhat);
                       pMenu && !strWhat.isEmpty()) {
                pMenu->popup(frmMain.mapToGlobal(QPoint(40, 40)));
                QTimer::singleShot(300, pMenu, [pMenu, strPath] { SaveAndQuit(pMenu, strPath); });
            } else {
                SaveAndQuit(&frmMain, strPath);
            }
        });
    pTimer->start();
}

}  // namespace kestrel
