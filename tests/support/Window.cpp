#include "support/Window.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTreeWidgetItemIterator>

#include "CConfig.h"
#include "CFileListModel.h"
#include "CFileListView.h"
#include "CFolderTreeView.h"
#include "Form_FilerMain_Names.h"

QT_BEGIN_NAMESPACE
void PrintTo(const QString& c_str, std::ostream* pOut) {
    *pOut << '"' << c_str.toStdString() << '"';
}
QT_END_NAMESPACE

namespace kestrel::test {

void FailOnMessageBoxes() {
    CMessageBox::SetHook([](QMessageBox::Icon, const QString&, const QString& c_strText,
                            const QString&, QMessageBox::StandardButtons) {
        ADD_FAILURE() << "message box nobody expected: " << c_strText.toStdString();
        return QMessageBox::Ok;
    });
}

MessageRecorder::MessageRecorder() {
    CMessageBox::SetHook([this](QMessageBox::Icon, const QString& c_strCaption,
                                const QString& c_strText, const QString& c_strDetails,
                                QMessageBox::StandardButtons eButtons) {
        lstCaptions.append(c_strCaption);
        lstTexts.append(c_strText);
        lstDetails.append(c_strDetails);
        if (eButtons & QMessageBox::Yes) return bAnswerYes ? QMessageBox::Yes : QMessageBox::No;
        return QMessageBox::Ok;
    });
}

DialogAnswers::DialogAnswers(std::function<QString()> fnNext, const QString& c_strFile) {
    CFileDialogs::SetHooks(
        [this, fnNext](QWidget*, const QString&, const QString& c_strStart) {
            lstStarts << c_strStart;
            return fnNext ? fnNext() : QString();
        },
        [this, c_strFile](QWidget*, const QString&, const QString&, const QString& c_strFilter) {
            strFilter = c_strFilter;
            return c_strFile;
        });
}

PasswordAnswers::PasswordAnswers(QStringList lstPasswordsGiven)
    : lstPasswords(std::move(lstPasswordsGiven)) {
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        QWidget* pDialog = QApplication::activeModalWidget();
        if (pDialog == nullptr ||
            pDialog->objectName() != QLatin1String(FormName::frmPasswordDialog))
            return;
        QStringList lstTexts;
        for (const QLabel* pLabel : pDialog->findChildren<QLabel*>()) lstTexts << pLabel->text();
        lstAsked << lstTexts.join(QLatin1Char('\n'));
        auto* pDialogBox = static_cast<QDialog*>(pDialog);
        if (lstPasswords.isEmpty()) {
            pDialogBox->reject();
            return;
        }
        pDialog->findChild<QLineEdit*>(QLatin1String(FormName::frmPassword_Text))
            ->setText(lstPasswords.takeFirst());
        pDialogBox->accept();
    });
    m_timer.start(10);
}

bool CTestDriver::File_Open_StartProcess(const QString& c_strFileName) {
    lstStarted << c_strFileName;
    return true;
}

std::unique_ptr<CFileMover> CTestDriver::MakeMover(int nItems) {
    auto pcMover = CForm_FilerMain_Driver::MakeMover(nItems);
    pcMover->Set_QuestionHook(hookQuestion);
    return pcMover;
}

Qt::DropAction CTestDriver::StartDrag(QWidget*, QMimeData* pData) {
    std::unique_ptr<QMimeData> pOwned(pData);
    return hookDrag ? hookDrag(pData) : Qt::IgnoreAction;
}

bool CTestDriver::StartViewer(const VIEWERAPPLICATION* pstViewer, const QString& c_strFile,
                              QString*) {
    lstLaunched.append(
        {pstViewer ? pstViewer->strFilePath : QString(), c_strFile, ReadAll(c_strFile)});
    return true;
}

DriverWindow MakeDriverWindow(const std::function<void(STConfig&)>& fnSettings,
                              const QStringList& c_lstArgs, const QString& c_strImages) {
    DriverWindow w;
    w.pDir = std::make_unique<QTemporaryDir>();
    if (fnSettings) {
        CConfig cConfig(nullptr, w.Settings());
        STConfig stConfig = cConfig.pstConfig();
        fnSettings(stConfig);
        cConfig.Update(stConfig);
        cConfig.Save();
    }
    qputenv("KESTREL_CONFIG", w.Settings().toLocal8Bit());
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
    w.frm = std::make_unique<Form_FilerMain>(fnCreate, c_strImages);
    w.frm->show();
    QCoreApplication::processEvents();  // the first shown event reads the command line
    w.pDriver->Wait_FileOpen();
    QCoreApplication::processEvents();
    return w;
}

void DriverWindow::Open(const QString& c_strArchive) {
    pDriver->File_Open_NewWindow(c_strArchive, true);
    pDriver->Wait_FileOpen();
    QCoreApplication::processEvents();
}

void DriverWindow::SelectFolder(const QString& c_strNode) {
    for (QTreeWidgetItemIterator it(frm->frmTreeView); *it; ++it) {
        if (CFolderTreeView::NodeName(*it) == c_strNode) {
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

void DriverWindow::SelectAllRows() {
    frm->frmListView->selectAll();
    QCoreApplication::processEvents();
}

QStringList DriverWindow::RowNames() const {
    QStringList lst;
    const CFileListModel* pModel = pDriver->pcFileListModel();
    for (int i = 0; i < pModel->rowCount(); ++i) lst << pModel->Text(i, 0);
    return lst;
}

QStringList DriverWindow::TreeNodes() const {
    QStringList lst;
    for (QTreeWidgetItemIterator it(frm->frmTreeView); *it; ++it)
        lst << CFolderTreeView::NodeName(*it);
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

QByteArray ReadAll(const QString& c_strPath) {
    QFile file(c_strPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace kestrel::test
