#include "DriverTestSupport.h"

#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QProcess>
#include <QTreeWidgetItemIterator>

#include "CConfig.h"
#include "CFileListModel.h"
#include "CFileListView.h"
#include "CFolderTreeView.h"
#include "CMessageBox.h"

namespace kestrel::test {

DriverWindow MakeDriverWindow(const std::function<void(STConfig&)>& fnSettings,
                              const QStringList& c_lstArgs) {
    DriverWindow w;
    w.pDir = std::make_unique<QTemporaryDir>();
    const QString strSettings = w.Path(QStringLiteral("kestrel.config.xml"));
    if (fnSettings) {
        CConfig cConfig(nullptr, strSettings);
        STConfig stConfig = cConfig.pstConfig();
        fnSettings(stConfig);
        cConfig.Update(stConfig);
        cConfig.Save();
    }
    qputenv("KESTREL_CONFIG", strSettings.toLocal8Bit());
    auto fnCreate = [&w, c_lstArgs](Form_FilerMain* frm) {
        auto pDriver = std::make_unique<CTestDriver>(
            frm, frm->frmTreeView, frm->frmListView, frm->frmLabel_CurrentDirectory, frm->frmMenu,
            frm->frmToolBar, frm->frmStatusBar, frm->frmStatus_Select, frm->frmStatus_Directory,
            frm->frmStatus_Archive, frm->frmStatus_ProgressBar, frm->frmTreeView_ContextMenuStrip,
            frm->frmListView_ContextMenuStrip);
        pDriver->lstArgs = c_lstArgs;
        w.pDriver = pDriver.get();
        return pDriver;
    };
    w.frm =
        std::make_unique<Form_FilerMain>(fnCreate, QStringLiteral("/nonexistent-kestrel-images/"));
    w.frm->show();
    QCoreApplication::processEvents();  // the first shown event reads the command line
    w.pDriver->Wait_FileOpen();
    return w;
}

void DriverWindow::Open(const QString& c_strArchive) {
    pDriver->File_Open_NewWindow(c_strArchive, true);
    pDriver->Wait_FileOpen();
    QCoreApplication::processEvents();
}

void DriverWindow::SelectFolder(const QString& c_strName) {
    for (QTreeWidgetItemIterator it(frm->frmTreeView); *it; ++it) {
        if (CFolderTreeView::NodeName(*it) == c_strName) {
            frm->frmTreeView->setCurrentItem(*it);
            QCoreApplication::processEvents();
            return;
        }
    }
}

void DriverWindow::SelectRows(const QList<int>& c_vnRows) {
    QItemSelectionModel* pSelection = frm->frmListView->selectionModel();
    for (int nRow : c_vnRows) {
        pSelection->select(frm->frmListView->model()->index(nRow, 0),
                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QCoreApplication::processEvents();
}

QStringList DriverWindow::RowNames() const {
    QStringList lst;
    const CFileListModel* pModel = pDriver->pcFileListModel();
    for (int i = 0; i < pModel->rowCount(); ++i) lst << pModel->Text(i, 0);
    return lst;
}

QString FixturePath(const QString& c_strName) {
    return QString::fromLocal8Bit(qgetenv("KESTREL_TEST_DATA")) + QLatin1Char('/') + c_strName;
}

QString SamplePath() {
    return FixturePath(QStringLiteral("../../samples/sample.lzh"));
}

bool MakeZip(const QString& c_strPath, const QStringList& c_lstNames) {
    const QString strScript = QStringLiteral(
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
        "    for n in sys.argv[2:]:\n"
        "        z.writestr(zipfile.ZipInfo(n, (2024, 5, 1, 12, 34, 56)),"
        " b'' if n.endswith('/') else n.encode())\n");
    return QProcess::execute(
               QStringLiteral("python3"),
               QStringList{QStringLiteral("-c"), strScript, c_strPath} + c_lstNames) == 0;
}

QByteArray ReadFile(const QString& c_strPath) {
    QFile file(c_strPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace kestrel::test
