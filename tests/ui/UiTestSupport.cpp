#include "UiTestSupport.h"

#include <QAction>
#include <QCoreApplication>
#include <QIcon>
#include <QTreeWidgetItem>

#include "CFolderTreeView.h"
#include "CImageList.h"

void PrintTo(const QString& c_str, std::ostream* pOut) {
    *pOut << '"' << c_str.toStdString() << '"';
}

void PrintTo(const QStringList& c_lst, std::ostream* pOut) {
    *pOut << "{";
    for (qsizetype i = 0; i < c_lst.size(); ++i) {
        if (i) *pOut << ", ";
        PrintTo(c_lst[i], pOut);
    }
    *pOut << "}";
}

namespace kestrel::test {

int CRecordingDriver::CountOf(const QString& c_strPrefix) const {
    int nCount = 0;
    for (const QString& c_strCall : lstCalls) nCount += c_strCall.startsWith(c_strPrefix);
    return nCount;
}

void CRecordingDriver::File_Open_CommandArgs() {
    lstCalls << "File_Open_CommandArgs()";
}
void CRecordingDriver::File_Open_OpenDialog() {
    lstCalls << "File_Open_OpenDialog()";
}
void CRecordingDriver::File_Open_NewWindow(const QString& c_strOpenFileName,
                                           bool bAllowCurrentWindow) {
    lstCalls << QStringLiteral("File_Open_NewWindow(%1,%2)")
                    .arg(c_strOpenFileName, bAllowCurrentWindow ? "true" : "false");
}
void CRecordingDriver::File_Open_NewWindows(const QStringList& c_strOpenFileNames) {
    lstCalls << QStringLiteral("File_Open_NewWindows(%1)").arg(c_strOpenFileNames.join('|'));
}
void CRecordingDriver::File_Close() {
    lstCalls << "File_Close()";
}
void CRecordingDriver::RestoreWindow() {
    lstCalls << "RestoreWindow()";
}
bool CRecordingDriver::Edit_Extract_ListView() {
    lstCalls << "Edit_Extract_ListView()";
    return true;
}
bool CRecordingDriver::Edit_Extract_TreeView(bool bIncludeSubFolder) {
    lstCalls
        << QStringLiteral("Edit_Extract_TreeView(%1)").arg(bIncludeSubFolder ? "true" : "false");
    return true;
}
void CRecordingDriver::Edit_Open_Click_EventHandler(QObject* pSender) {
    pLastSender = pSender;
    lstCalls << "Edit_Open_Click_EventHandler()";
}
Qt::DropAction CRecordingDriver::DoDragDrop_ListView(QWidget* pSender) {
    pLastSender = pSender;
    lstCalls << "DoDragDrop_ListView()";
    if (fnDuringDrag) fnDuringDrag();
    return Qt::IgnoreAction;
}
Qt::DropAction CRecordingDriver::DoDragDrop_TreeView(QWidget* pSender, QTreeWidgetItem* pNode) {
    pLastSender = pSender;
    pLastNode = pNode;
    lstCalls << QStringLiteral("DoDragDrop_TreeView(%1)").arg(CFolderTreeView::NodeName(pNode));
    if (fnDuringDrag) fnDuringDrag();
    return Qt::IgnoreAction;
}
void CRecordingDriver::UI_Update_FolderList(QTreeWidgetItem* pNode) {
    pLastNode = pNode;
    lstCalls << QStringLiteral("UI_Update_FolderList(%1)").arg(CFolderTreeView::NodeName(pNode));
}
void CRecordingDriver::UI_Update_SelectItemStatus(int nRow, bool bIsSelected) {
    lstCalls << QStringLiteral("UI_Update_SelectItemStatus(%1,%2)")
                    .arg(nRow)
                    .arg(bIsSelected ? "true" : "false");
}
void CRecordingDriver::UI_Update_StatusBar_ItemWidth() {
    lstCalls << "UI_Update_StatusBar_ItemWidth()";
    CForm_FilerMain_Driver::UI_Update_StatusBar_ItemWidth();
}
void CRecordingDriver::ShowDialog_Config() {
    lstCalls << "ShowDialog_Config()";
}
void CRecordingDriver::ShowDialog_About() {
    lstCalls << "ShowDialog_About()";
}

TestWindow MakeWindow(const QString& c_strImageFolder) {
    TestWindow w;
    auto fnCreate = [&w](Form_FilerMain* frm) {
        auto pDriver = std::make_unique<CRecordingDriver>(
            frm, frm->frmTreeView, frm->frmListView, frm->frmLabel_CurrentDirectory, frm->frmMenu,
            frm->frmToolBar, frm->frmStatusBar, frm->frmStatus_Select, frm->frmStatus_Directory,
            frm->frmStatus_Archive, frm->frmStatus_ProgressBar, frm->frmTreeView_ContextMenuStrip,
            frm->frmListView_ContextMenuStrip);
        w.pDriver = pDriver.get();
        return pDriver;
    };
    const QString strFolder = c_strImageFolder.isEmpty()
                                  ? QStringLiteral("/nonexistent-kestrel-images/")
                                  : c_strImageFolder;
    w.frm = std::make_unique<Form_FilerMain>(fnCreate, strFolder);
    return w;
}

TestWindow MakeShownWindow() {
    TestWindow w = MakeWindow();
    w.frm->show();
    QCoreApplication::processEvents();
    w.pDriver->lstCalls.clear();
    return w;
}

QAction* FindItem(const Form_FilerMain& c_frm, const char* pszName) {
    return c_frm.findChild<QAction*>(QString::fromLatin1(pszName));
}

QImage IconImage(const QIcon& c_icon) {
    return c_icon.pixmap(QSize(16, 16)).toImage().convertToFormat(QImage::Format_ARGB32);
}

QImage EmbeddedImage(const char* pszFile) {
    return LoadImage(QString(), QString::fromLatin1(pszFile))
        .toImage()
        .convertToFormat(QImage::Format_ARGB32);
}

bool SameImage(const QImage& c_a, const QImage& c_b) {
    return !c_a.isNull() &&
           c_a.convertToFormat(QImage::Format_ARGB32) == c_b.convertToFormat(QImage::Format_ARGB32);
}

}  // namespace kestrel::test
