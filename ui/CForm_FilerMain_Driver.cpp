// Construction, the open workflow, window placement, settings and the viewer menus.
#include "CForm_FilerMain_Driver.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QProgressBar>
#include <QScreen>
#include <QStandardItem>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidgetItem>
#include <algorithm>

#include "CArchive_Driver.h"
#include "CCommandLine.h"
#include "CConfig.h"
#include "CFileDialogs.h"
#include "CFileListModel.h"
#include "CFileListView.h"
#include "CFileOpenWorker.h"
#include "CFolderTreeView.h"
#include "CMessageBox.h"
#include "Form_About.h"
#include "Form_Config.h"
#include "Form_FilerMain.h"
#include "Form_FilerMain_Names.h"
#include "Platform.h"

namespace kestrel {

namespace {

const QString c_strOpenFailed = QStringLiteral("このファイルは開くことが出来ません");

QTreeWidgetItem* ToTreeNode(const QStandardItem* pItem) {
    // Iterative: folders may nest thousands deep.
    auto* pRoot = new QTreeWidgetItem(QStringList{pItem->text()});
    CFolderTreeView::SetNodeName(pRoot, pItem->data(CArchive_Driver::NameRole).toString());
    pRoot->setToolTip(0, pItem->toolTip());
    std::vector<std::pair<const QStandardItem*, QTreeWidgetItem*>> vStack{{pItem, pRoot}};
    while (!vStack.empty()) {
        const auto [pSource, pTarget] = vStack.back();
        vStack.pop_back();
        QList<QTreeWidgetItem*> vChildren;
        vChildren.reserve(pSource->rowCount());
        for (int i = 0; i < pSource->rowCount(); ++i) {
            const QStandardItem* pChild = pSource->child(i);
            auto* pNode = new QTreeWidgetItem(QStringList{pChild->text()});
            CFolderTreeView::SetNodeName(pNode, pChild->data(CArchive_Driver::NameRole).toString());
            pNode->setToolTip(0, pChild->toolTip());
            vChildren.append(pNode);
            vStack.emplace_back(pChild, pNode);
        }
        pTarget->addChildren(vChildren);
    }
    return pRoot;
}

bool IntersectsAScreen(const QRect& c_rc) {
    const auto vScreens = QGuiApplication::screens();
    return std::any_of(vScreens.begin(), vScreens.end(), [&](const QScreen* pScreen) {
        return pScreen->availableGeometry().intersects(c_rc);
    });
}

}  // namespace

CForm_FilerMain_Driver::CForm_FilerMain_Driver(
    Form_FilerMain* frmWindow, CFolderTreeView* frmTreeView, CFileListView* frmListView,
    QLabel* frmListLabel, QMenuBar* frmMenuStrip, QToolBar* frmToolStrip,
    QStatusBar* frmStatusStrip, QLabel* frmStatusLabel_Select, QLabel* frmStatusLabel_Directory,
    QLabel* frmStatusLabel_Archive, QProgressBar* frmStatusProgressBar,
    QMenu* frmTreeView_ContextMenuStrip, QMenu* frmListView_ContextMenuStrip)
    : m_frmWindow(frmWindow),
      m_frmTreeView(frmTreeView),
      m_frmListView(frmListView),
      m_frmListLabel(frmListLabel),
      m_frmMenuStrip(frmMenuStrip),
      m_frmToolStrip(frmToolStrip),
      m_frmStatusStrip(frmStatusStrip),
      m_frmStatusLabel_Select(frmStatusLabel_Select),
      m_frmStatusLabel_Directory(frmStatusLabel_Directory),
      m_frmStatusLabel_Archive(frmStatusLabel_Archive),
      m_frmStatusProgressBar(frmStatusProgressBar),
      m_frmTreeView_ContextMenuStrip(frmTreeView_ContextMenuStrip),
      m_frmListView_ContextMenuStrip(frmListView_ContextMenuStrip) {
    m_cmBackgroundWorker = std::make_unique<CFileOpenWorker>();
    QObject::connect(m_cmBackgroundWorker.get(), &CFileOpenWorker::ProgressChanged, m_frmWindow,
                     [this](int nValue) { File_Open_ProgressChanged(nValue); });
    QObject::connect(m_cmBackgroundWorker.get(), &CFileOpenWorker::RunWorkerCompleted, m_frmWindow,
                     [this](bool bCancelled, bool) {
                         // The failure is told before the window returns to idle.
                         if (bCancelled) CMessageBox::Error(m_frmWindow, OpenFailedText());
                         File_Open_RunWorkerCompleted(bCancelled);
                     });
    m_bFileOpenMode = false;
    m_bEditArchive = false;

    m_pcArchive_Driver = std::make_unique<CArchive_Driver>();
    m_pcArchive_Driver->setFrmWindow(m_frmWindow);
    m_pcFileListModel = std::make_unique<CFileListModel>(m_pcArchive_Driver.get());
    m_frmListView->SetRowModel(m_pcFileListModel.get());

    m_pcConfig = std::make_unique<CConfig>(this, QString::fromLocal8Bit(qgetenv("KESTREL_CONFIG")));
    m_pcConfig->Set_MessageOwner(m_frmWindow);
    m_pcConfig->Load();
}

CForm_FilerMain_Driver::~CForm_FilerMain_Driver() {
    Wait_FileOpen();
    SaveWindowPlacement();
    m_pcConfig->Save_AtExit();
    m_frmListView->SetRowModel(nullptr);
    m_pcFileListModel.reset();
    m_cmBackgroundWorker.reset();
    m_pcConfig.reset();
    m_pcArchive_Driver.reset();
}

// ---------------------------------------------------------------------------------------------
// Opening

void CForm_FilerMain_Driver::File_Open(const QString& c_strFileName) {
    UI_Update_FileOpenMode_Start();
    // The list's rows point into the archive driver's tree, which the worker rebuilds.
    m_pcFileListModel->Clear();
    CArchive_Driver* pcDriver = m_pcArchive_Driver.get();
    m_cmBackgroundWorker->RunWorkerAsync(
        [pcDriver, c_strFileName](const CFileOpenWorker::ReportProgress& fnReport) {
            return pcDriver->Open(c_strFileName, fnReport);
        });
}

QStringList CForm_FilerMain_Driver::Get_CommandArgs() const {
    const QStringList vstrArgs = QCoreApplication::arguments();
    return QStringList{vstrArgs.value(0)} + CCommandLine::Parse(vstrArgs).lstArchives;
}

void CForm_FilerMain_Driver::File_Open_CommandArgs() {
    const QStringList vstrArgs = Get_CommandArgs();
    if (vstrArgs.size() >= 2 && !vstrArgs[1].isEmpty()) File_Open(vstrArgs[1]);
    for (qsizetype i = 2; i < vstrArgs.size(); ++i) {
        if (!vstrArgs[i].isEmpty()) File_Open_StartProcess(vstrArgs[i]);
    }
}

void CForm_FilerMain_Driver::File_Open_OpenDialog() {
    QStringList vstrFilters;
    for (const auto& stProperty : m_pcArchive_Driver->pstPropertys()) {
        QStringList vstrPatterns;
        for (const QString& c_strExt : stProperty.lstExts) vstrPatterns << u'*' + c_strExt;
        vstrFilters << stProperty.strName + u'(' + vstrPatterns.join(u' ') + u')';
    }
    vstrFilters << QStringLiteral("全てのファイル(*)");
    const QString strFile = CFileDialogs::ChooseOpenFile(
        m_frmWindow, QStringLiteral("開く"), QString(), vstrFilters.join(QStringLiteral(";;")));
    if (strFile.isEmpty()) return;
    if (!m_pcArchive_Driver->bFileOpened() && !m_bFileOpenMode) {
        m_pcArchive_Driver->Close();
        File_Open(strFile);
    } else {
        File_Open_StartProcess(strFile);
    }
}

void CForm_FilerMain_Driver::File_Open_NewWindow(const QString& c_strOpenFileName,
                                                 bool bAllowCurrentWindow) {
    // While an open runs the archive driver belongs to the worker: drops go elsewhere.
    if (!c_strOpenFileName.isEmpty() && bAllowCurrentWindow && !m_bFileOpenMode &&
        !m_pcArchive_Driver->bFileOpened()) {
        m_pcArchive_Driver->Close();
        File_Open(c_strOpenFileName);
    } else {
        File_Open_StartProcess(c_strOpenFileName);
    }
}

void CForm_FilerMain_Driver::File_Open_NewWindows(const QStringList& c_strOpenFileNames) {
    for (qsizetype i = 0; i < c_strOpenFileNames.size(); ++i)
        File_Open_NewWindow(c_strOpenFileNames[i], i == 0);
}

void CForm_FilerMain_Driver::UI_Update_RecentFiles() {
    QMenu* pMenu = FindMenu(FormName::frmMenu_File_Recent);
    if (pMenu == nullptr) return;
    pMenu->clear();
    const QStringList c_lstFiles = m_pcConfig->Get_RecentFiles();
    if (c_lstFiles.isEmpty()) {
        auto* pNone = new QAction(QStringLiteral("(履歴はありません)"), pMenu);
        pNone->setObjectName(QLatin1String(FormName::frmMenu_File_Recent_None));
        pNone->setEnabled(false);
        pMenu->addAction(pNone);
        return;
    }
    const QFontMetrics c_fm(pMenu->font());
    for (qsizetype i = 0; i < c_lstFiles.size(); ++i) {
        // The last digit of the number is the access key: 1 to 9, then 0 for the tenth.
        QString strNumber = QString::number(i + 1);
        strNumber.insert(strNumber.size() - 1, u'&');
        // A line break in a path would make the item two lines high.
        const QString c_strShown =
            QString::fromStdWString(shelf::VisibleText(c_lstFiles[i].toStdWString()));
        QString strPath = c_fm.elidedText(c_strShown, Qt::ElideMiddle, 480);
        strPath.replace(u'&', QStringLiteral("&&"));
        auto* pAction = new QAction(strNumber + u' ' + strPath, pMenu);
        pAction->setObjectName(QLatin1String(FormName::frmMenu_File_Recent) +
                               QStringLiteral("_%1").arg(i));
        pAction->setToolTip(c_strShown);
        QObject::connect(pAction, &QAction::triggered, pMenu,
                         [this, strFile = c_lstFiles[i]] { File_Open_NewWindow(strFile, true); });
        pMenu->addAction(pAction);
    }
}

bool CForm_FilerMain_Driver::File_Open_StartProcess(const QString& c_strFileName) {
    QProcess process;
    process.setProgram(QCoreApplication::applicationFilePath());
    // The path travels as one argument, whatever blanks it holds; after "--" when it would
    // otherwise read as an option.
    if (c_strFileName.startsWith(u'-')) {
        process.setArguments({QStringLiteral("--"), c_strFileName});
    } else if (!c_strFileName.isEmpty()) {
        process.setArguments({c_strFileName});
    }
    if (process.startDetached()) return true;
    CMessageBox::Error(m_frmWindow, CMessageBox::WithCause(
                                        QStringLiteral("新しいウィンドウを開くことができません"),
                                        process.errorString()));
    return false;
}

QString CForm_FilerMain_Driver::OpenFailedText() const {
    // Only a reason the user can act on is added: a 7z whose headers are encrypted.
    const uint32_t nReason = m_pcArchive_Driver->nOpenFailureReason();
    if (nReason != KESTREL_REASON_ENCRYPTED) return c_strOpenFailed;
    return CMessageBox::WithCause(c_strOpenFailed,
                                  shelf_cli::CArchive_Unify::OpenFailureText(nReason));
}

void CForm_FilerMain_Driver::File_Open_ProgressChanged(int nValue) {
    m_frmStatusProgressBar->setValue(std::clamp(nValue, 0, 1000));
}

void CForm_FilerMain_Driver::File_Open_RunWorkerCompleted(bool bCancelled) {
    m_frmTreeView->clear();
    if (!bCancelled) {
        auto* pAllFiles = new QTreeWidgetItem(QStringList{QStringLiteral("[全てのファイル]")});
        CFolderTreeView::SetNodeName(pAllFiles, QString());
        QStandardItem* pFolders = nullptr;
        m_pcArchive_Driver->Get_DirectoryTree(pFolders);
        std::unique_ptr<QStandardItem> folders(pFolders);
        QTreeWidgetItem* pRoot = ToTreeNode(pFolders);
        m_frmTreeView->addTopLevelItems({pAllFiles, pRoot});
        if (m_pcConfig->pcGeneral()->bExpandTreeNode()) m_frmTreeView->expandAll();
        m_frmTreeView->setCurrentItem(m_pcConfig->pcGeneral()->bFirstFolderOfAllFiles() ? pAllFiles
                                                                                        : pRoot);
        m_frmWindow->setWindowTitle(m_pcArchive_Driver->strFileName() +
                                    QStringLiteral(" - ケストレル"));
        m_pcConfig->Add_RecentFile(
            QFileInfo(m_pcArchive_Driver->strFileFullPath()).absoluteFilePath());
    }
    UI_Update_FileOpenMode_End(!bCancelled);
}

void CForm_FilerMain_Driver::Wait_FileOpen() {
    m_cmBackgroundWorker->Wait();
}

void CForm_FilerMain_Driver::File_Close() {
    // An open or a job still running owns the archive driver until it completes.
    Quit_Job();
    Wait_FileOpen();
    m_pcFileListModel->Clear();
    m_pcArchive_Driver->Close();
}

// ---------------------------------------------------------------------------------------------
// Modes

QAction* CForm_FilerMain_Driver::FindAction(const char* c_pszName) const {
    return m_frmWindow->findChild<QAction*>(QString::fromLatin1(c_pszName));
}

void CForm_FilerMain_Driver::SetItemEnabled(const char* c_pszName, bool bEnabled) const {
    QAction* pAction = FindAction(c_pszName);
    if (pAction == nullptr) return;
    pAction->setEnabled(bEnabled);
    // A sub-menu passes its own widget state on to its item whenever a parent is enabled again.
    if (QMenu* pMenu = pAction->menu()) pMenu->setEnabled(bEnabled);
}

QMenu* CForm_FilerMain_Driver::FindMenu(const char* c_pszName) const {
    return m_frmWindow->findChild<QMenu*>(QString::fromLatin1(c_pszName));
}

void CForm_FilerMain_Driver::UI_Update_FileOpenMode_Start() {
    m_frmMenuStrip->setEnabled(false);
    m_frmToolStrip->setEnabled(false);
    for (const char* pszName : FormName::c_apszOpenModeItems) SetItemEnabled(pszName, false);
    m_frmWindow->frmToolBar_Edit_Find->setEnabled(false);
    m_frmWindow->Set_ListViewAcceptDrops(false);
    m_frmTreeView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_frmListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_bFileOpenMode = true;
    UI_Update_FileOpenMode_StatusBar();
}

void CForm_FilerMain_Driver::UI_Update_FileOpenMode_End(bool bFileOpenSuccess) {
    m_frmToolStrip->setEnabled(true);
    m_frmMenuStrip->setEnabled(true);
    if (bFileOpenSuccess) {
        for (const char* pszName : FormName::c_apszOpenedItems) SetItemEnabled(pszName, true);
        m_frmWindow->frmToolBar_Edit_Find->setEnabled(true);
        const bool bExtract = Is_ExtractSupported();
        for (const char* pszName : FormName::c_apszExtractItems) SetItemEnabled(pszName, bExtract);
        SetItemEnabled(FormName::frmMenu_Edit_Arc_Check, bExtract);
        SetItemEnabled(FormName::frmToolBar_Edit_Arc_Check, bExtract);
    }
    m_bFileOpenMode = false;
    UI_Update_FileOpenMode_StatusBar();
    UI_Update_EditArchive(false);
}

bool CForm_FilerMain_Driver::Is_ExtractSupported() const {
    const auto* pstProperty = m_pcArchive_Driver->pstProperty();
    return pstProperty != nullptr && pstProperty->bExtract;
}

void CForm_FilerMain_Driver::UI_Update_FileOpenMode_StatusBar() {
    m_frmStatusLabel_Select->setVisible(!m_bFileOpenMode);
    m_frmStatusLabel_Directory->setVisible(!m_bFileOpenMode);
    m_frmStatusLabel_Archive->setVisible(!m_bFileOpenMode);
    m_frmStatusProgressBar->setVisible(m_bFileOpenMode);
    if (m_bFileOpenMode) m_frmStatusProgressBar->setValue(0);
    UI_Update_StatusBar_ItemWidth();
}

void CForm_FilerMain_Driver::UI_Update_EditArchive(bool bEdit) {
    m_bEditArchive = bEdit;
    for (const char* pszName : FormName::c_apszSaveItems) SetItemEnabled(pszName, bEdit);
}

// ---------------------------------------------------------------------------------------------
// Window placement

void CForm_FilerMain_Driver::RestoreWindow() {
    const CWindow* pcWindow = m_pcConfig->pcView()->pcWindow();
    const QRect rcBounds = pcWindow->stWindowBounds().ToQRect();
    QRect rcRestore = pcWindow->stWindowRestoreBounds().ToQRect();
    if (rcRestore.width() <= 0 || rcRestore.height() <= 0) rcRestore = rcBounds;
    const EWindowState eState = pcWindow->eWindowState();
    // Qt keeps one normal geometry; a maximised window returns to the restore bounds.
    const QRect& rcNormal = eState == EWindowState::Normal ? rcBounds : rcRestore;
    if (pcWindow->bRestoreWindowPosition() && IntersectsAScreen(rcNormal))
        m_frmWindow->move(rcNormal.topLeft());
    if (pcWindow->bRestoreWindowSize()) {
        if (rcNormal.width() > 0 && rcNormal.height() > 0) m_frmWindow->resize(rcNormal.size());
        if (eState == EWindowState::Maximized)
            m_frmWindow->setWindowState(Qt::WindowMaximized);
        else if (eState == EWindowState::Minimized)
            m_frmWindow->setWindowState(Qt::WindowMinimized);
    }
}

void CForm_FilerMain_Driver::SaveWindowPlacement() {
    CWindow* pcWindow = m_pcConfig->pcView()->pcWindow();
    const QRect rcBounds(m_frmWindow->pos(), m_frmWindow->size());
    const Qt::WindowStates eStates = m_frmWindow->windowState();
    EWindowState eState = EWindowState::Normal;
    if (eStates & Qt::WindowMinimized)
        eState = EWindowState::Minimized;
    else if (eStates & Qt::WindowMaximized)
        eState = EWindowState::Maximized;
    QRect rcRestore = rcBounds;
    if (eState != EWindowState::Normal) {
        // The normal geometry excludes the frame; keep the same reference as pos().
        rcRestore = m_frmWindow->normalGeometry();
        rcRestore.moveTopLeft(rcRestore.topLeft() -
                              (m_frmWindow->geometry().topLeft() - m_frmWindow->pos()));
    }
    pcWindow->Set_WindowBounds(STRectangle::FromQRect(rcBounds));
    pcWindow->Set_WindowRestoreBounds(STRectangle::FromQRect(rcRestore));
    pcWindow->Set_WindowState(eState);
}

// ---------------------------------------------------------------------------------------------
// Settings and dialogs

bool CForm_FilerMain_Driver::Set_TempDirectory(const QString& strBase, QString* pstrError) {
    return m_pcArchive_Driver->Set_TempDirectory(strBase, pstrError);
}

void CForm_FilerMain_Driver::Set_ListViewRowsPluralColor(bool bValue) {
    m_pcArchive_Driver->setBListViewRowsPluralColor(bValue);
}

void CForm_FilerMain_Driver::UI_Update_ViewerApplications(
    const QList<VIEWERAPPLICATION>& c_lstViewers) {
    m_lstViewers = c_lstViewers;
    for (const char* pszMenu : FormName::c_apszViewerMenus) {
        QMenu* pMenu = FindMenu(pszMenu);
        if (pMenu == nullptr) continue;
        // clear() deletes the items the menu owns at once: stale ones must not be found by
        // their names.
        pMenu->clear();
        for (qsizetype i = 0; i < c_lstViewers.size(); ++i) {
            auto* pAction =
                new QAction(c_lstViewers[i].strName + QStringLiteral("(&%1)").arg(i), pMenu);
            pAction->setObjectName(QString::fromLatin1(pszMenu) + QStringLiteral("_%1").arg(i));
            pAction->setData(static_cast<int>(i));
            QObject::connect(pAction, &QAction::triggered, pMenu,
                             [this, pAction] { Edit_Open_Click_EventHandler(pAction); });
            pMenu->addAction(pAction);
        }
    }
}

void CForm_FilerMain_Driver::ShowDialog_Config() {
    kestrel::ShowDialog_Config(m_frmWindow, m_pcConfig.get());
}

void CForm_FilerMain_Driver::ShowDialog_About() {
    Form_About frmAbout(m_frmWindow);
    frmAbout.exec();
}

}  // namespace kestrel
