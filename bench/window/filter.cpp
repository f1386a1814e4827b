// Opens an archive in the real main window (offscreen), shows every file ([全てのファイル]) and
// types each TEXT into the filter one character at a time, printing for every keystroke the time
// until the list has been redrawn. Every name is folded once, as the field takes the keyboard.
// usage: bench_window_filter ARCHIVE [TEXT...]
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "CApplication.h"
#include "CFileListModel.h"
#include "CFileListView.h"
#include "CFolderTreeView.h"
#include "CNameFilter.h"
#include "Form_FilerMain.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s ARCHIVE [TEXT...]\n", argv[0]);
        return 2;
    }
    if (std::getenv("TZ") == nullptr) setenv("TZ", ":/etc/localtime", 1);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir settings;  // the program's own settings stay untouched
    qputenv("KESTREL_CONFIG", settings.filePath(QStringLiteral("kestrel.config.xml")).toUtf8());
    QStringList lstTexts;
    for (int i = 2; i < argc; ++i) lstTexts << QString::fromUtf8(argv[i]);
    if (lstTexts.isEmpty())
        lstTexts = {QStringLiteral("photo_0001"), QStringLiteral("ｐｈｏｔｏ"),
                    QStringLiteral("ｶﾀｶﾅ")};
    int nArgc = 2;  // only the archive: the window opens every argument it is given
    std::optional<kestrel::CJapaneseSystemLocale> oLocale(std::in_place);
    QApplication app(nArgc, argv);
    oLocale.reset();
    kestrel::Setup_Application(app);

    QElapsedTimer timer;
    timer.start();
    kestrel::Form_FilerMain frm;
    frm.resize(1200, 800);
    frm.show();
    while (frm.frmTreeView->topLevelItemCount() == 0 && timer.elapsed() < 600000) {
        QApplication::processEvents();
        QThread::msleep(5);
    }
    if (frm.frmTreeView->topLevelItemCount() == 0) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    std::printf("open_s\t%.3f\n", timer.elapsed() / 1000.0);
    frm.frmTreeView->setCurrentItem(frm.frmTreeView->topLevelItem(0));
    QApplication::processEvents();
    std::printf("rows\t%d\n", frm.frmListView->model()->rowCount());

    timer.restart();
    frm.frmToolBar_Edit_Find->setFocus();  // as Ctrl+F does
    QApplication::processEvents();
    std::printf("focus_ms\t%.1f\n", timer.nsecsElapsed() / 1e6);

    auto fnKey = [&](const QString& c_strText) {
        timer.restart();
        frm.frmToolBar_Edit_Find->setText(c_strText);
        QApplication::processEvents();
        frm.frmListView->viewport()->repaint();
        return timer.nsecsElapsed() / 1e6;
    };
    double dWorst = 0;
    for (const QString& c_strText : lstTexts) {
        for (qsizetype n = 1; n <= c_strText.size(); ++n) {
            const double dMs = fnKey(c_strText.left(n));
            std::printf("key\t%s\t%d rows\t%.1f ms\n", c_strText.left(n).toUtf8().constData(),
                        frm.frmListView->model()->rowCount(), dMs);
            dWorst = std::max(dWorst, dMs);
        }
        const double dMs = fnKey(QString());
        std::printf("clear\t%.1f ms\n", dMs);
        dWorst = std::max(dWorst, dMs);
    }
    std::printf("worst_key_ms\t%.1f\n", dWorst);

    // The parts: folding every name (at the focus), then one search.
    const auto* pcModel =
        qobject_cast<const kestrel::CFileListModel*>(frm.frmListView->ColumnModel()->sourceModel());
    kestrel::CNameFilter cFilter;
    timer.restart();
    cFilter.Index(pcModel->AllItems());
    std::printf("index_ms\t%.1f\n", timer.nsecsElapsed() / 1e6);
    timer.restart();
    const size_t c_nFound = cFilter.Match(lstTexts.first().left(1)).size();
    std::printf("match_ms\t%.1f\t%zu rows\n", timer.nsecsElapsed() / 1e6, c_nFound);
    return 0;
}
