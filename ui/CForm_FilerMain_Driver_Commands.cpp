// Extract, open with a viewer, and drag out. Every command extracts into a fresh staging
// folder first and then moves, opens or hands over what it extracted.
#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QProcess>
#include <QSet>
#include <QTimer>
#include <QTreeWidgetItem>
#include <QUrl>
#include <algorithm>

#include "CArchive_Driver.h"
#include "CConfig.h"
#include "CContainment.h"
#include "CFileDialogs.h"
#include "CFileListModel.h"
#include "CFileListView.h"
#include "CFileMover.h"
#include "CFolderTreeView.h"
#include "CForm_FilerMain_Driver.h"
#include "CMessageBox.h"
#include "CTreeWalk.h"
#include "DataObject_DelayRender_Archive.h"
#include "FileOps.h"
#include "Form_FilerMain.h"
#include "Form_FilerMain_Names.h"

namespace kestrel {

namespace {

const QString c_strNoSelection = QStringLiteral("ファイルが選択されていません");

const QString c_strExtractError = QStringLiteral("ファイルの解凍中にエラーが発生しました");

using safefs::ReachedWithoutLinks;
using safefs::StagedPath;

bool Exists(const QString& c_strPath) {
    return safefs::Exists(QFile::encodeName(c_strPath));
}

// The entries that can be staged; the others are named to the user, once.
QStringList StageableEntries(QWidget* pWindow, const QString& c_strStaging,
                             const QStringList& c_lstEntries) {
    QStringList lstStageable, lstRefused;
    for (const QString& strEntry : c_lstEntries) {
        (StagedPath(c_strStaging, strEntry).isEmpty() ? lstRefused : lstStageable) << strEntry;
    }
    if (!lstRefused.isEmpty()) {
        CMessageBox::Error(pWindow, CMessageBox::WithCause(
                                        c_strExtractError,
                                        QStringLiteral("解凍先の外を指す名前は取り出せません:\n") +
                                            lstRefused.join(QLatin1Char('\n'))));
    }
    return lstStageable;
}

// Inside a drop no dialog may open: the error box waits until control is back in the event loop.
void TellError(QWidget* pWindow, const QString& c_strText, bool bTellLater) {
    if (bTellLater)
        QTimer::singleShot(0, pWindow,
                           [pWindow, c_strText] { CMessageBox::Error(pWindow, c_strText); });
    else
        CMessageBox::Error(pWindow, c_strText);
}

}  // namespace

std::unique_ptr<CFileMover> CForm_FilerMain_Driver::MakeMover(int nItems) {
    return std::make_unique<CFileMover>(m_frmWindow, nItems);
}

QStringList CForm_FilerMain_Driver::SelectedEntries() const {
    QStringList lstEntries;
    for (int nRow : m_frmListView->SelectedRows()) lstEntries << m_pcFileListModel->Name(nRow);
    return lstEntries;
}

QString CForm_FilerMain_Driver::StagingFolder() {
    const QString strFolder = m_pcArchive_Driver->Generate_ExtractTempDirectoryName();
    if (strFolder.isEmpty())
        CMessageBox::Error(m_frmWindow,
                           QStringLiteral("一時フォルダがないため、ファイルを取り出せません"));
    return strFolder;
}

QStringList CForm_FilerMain_Driver::Drop_LinksLeaving(const QString& c_strStaging,
                                                      const QStringList& c_lstItems,
                                                      bool bTellLater) {
    QStringList lstLeft, lstDropped;
    for (const QString& c_strItem : c_lstItems) {
        const QStringList lstItemDropped = safefs::DropLinksLeaving(c_strStaging, c_strItem);
        lstDropped << lstItemDropped;
        if (!lstItemDropped.contains(c_strItem.mid(c_strStaging.size() - 1))) lstLeft << c_strItem;
    }
    if (lstDropped.isEmpty()) return lstLeft;
    const QString strText = CMessageBox::WithCause(
        c_strExtractError, QStringLiteral("解凍先の外を指すリンクは取り出しません:\n") +
                               lstDropped.join(QLatin1Char('\n')));
    TellError(m_frmWindow, strText, bTellLater);
    return lstLeft;
}

bool CForm_FilerMain_Driver::ExtractFolderBrowse(QString& strFolder) {
    // Where the user extracted last, in any window, while that folder is still there.
    QString strStart = m_pcConfig->pcExtract()->strLastExtractDirectory();
    if (strStart.isEmpty() || !QFileInfo(strStart).isDir()) strStart = QDir::homePath();
    const QString strChosen = CFileDialogs::ChooseFolder(
        m_frmWindow, QStringLiteral("解凍先のフォルダを指定してください。"), strStart);
    if (strChosen.isEmpty()) return false;
    m_pcConfig->Set_LastExtractDirectory(strChosen);
    strFolder = strChosen.endsWith(QLatin1Char('/')) ? strChosen : strChosen + QLatin1Char('/');
    return true;
}

bool CForm_FilerMain_Driver::Edit_Extract_ListView() {
    if (SelectedEntries().isEmpty()) {
        CMessageBox::Error(m_frmWindow, c_strNoSelection);
        return false;
    }
    QString strDestination;
    if (!ExtractFolderBrowse(strDestination)) return false;
    STAGING stStaging;
    StagingFolderFor(strDestination, &stStaging);
    const QString strStaging = stStaging.strFolder;
    if (strStaging.isEmpty()) return false;
    const QStringList lstEntries = StageableEntries(m_frmWindow, strStaging, SelectedEntries());
    if (lstEntries.isEmpty()) return false;

    const bool bExtracted = Extract_Staged(lstEntries, strStaging);
    if (m_bQuitting) return false;
    QStringList lstSources;
    for (const QString& strEntry : lstEntries) lstSources << StagedPath(strStaging, strEntry);
    const QStringList lstLeft = Drop_LinksLeaving(strStaging, lstSources);
    const QSet<QString> setKept(lstLeft.begin(), lstLeft.end());
    // Files go without their archive folders: equal names meet, and the mover asks. After a
    // failure (already told) only what did arrive is moved.
    std::unique_ptr<CFileMover> pcMover = MakeMover(static_cast<int>(lstEntries.size()));
    for (const QString& strEntry : lstEntries) {
        const QString strSource = StagedPath(strStaging, strEntry);
        if (!ReachedWithoutLinks(strStaging, strSource) || !setKept.contains(strSource)) continue;
        if (!bExtracted && !Exists(strSource)) continue;
        const QString strName = strEntry.mid(strEntry.lastIndexOf(QLatin1Char('/')) + 1);
        pcMover->Move(strSource, strDestination + strName);
    }
    return true;
}

bool CForm_FilerMain_Driver::Edit_Extract_TreeView(bool bIncludeSubFolder) {
    QString strDestination;
    if (!ExtractFolderBrowse(strDestination)) return false;
    const QString strNode = CFolderTreeView::NodeName(m_frmTreeView->currentItem());
    if (!strNode.startsWith(QLatin1Char('/'))) return false;  // the all-files node
    return Extract_TreeFolder(strNode, strDestination, bIncludeSubFolder);
}

bool CForm_FilerMain_Driver::Edit_Extract_Archive() {
    QString strDestination;
    if (!ExtractFolderBrowse(strDestination)) return false;
    return Extract_TreeFolder(QStringLiteral("/"), strDestination, true);
}

bool CForm_FilerMain_Driver::Extract_TreeFolder(const QString& c_strNode,
                                                const QString& c_strDestination,
                                                bool bIncludeSubFolder) {
    STAGING stStaging;
    StagingFolderFor(c_strDestination, &stStaging);
    const QString strStaging = stStaging.strFolder;
    if (strStaging.isEmpty()) return false;

    if (StageableEntries(m_frmWindow, strStaging, {c_strNode}).isEmpty()) return false;
    QString strFolderName = c_strNode.chopped(1).section(QLatin1Char('/'), -1);
    if (strFolderName.isEmpty()) strFolderName = m_pcArchive_Driver->strFileName();
    const QString strSource = StagedPath(strStaging, c_strNode).chopped(1);

    QStringList lstFiles;
    m_pcArchive_Driver->Get_DirectoryFiles(c_strNode, lstFiles, bIncludeSubFolder);
    // When nothing could be extracted (told already), nothing is made at the destination.
    if (!lstFiles.isEmpty() && !Extract_Staged(lstFiles, strStaging) &&
        (m_bQuitting || !safefs::HoldsAnyFile(QFile::encodeName(strSource))))
        return false;
    // A folder without files of its own still arrives as a folder; one reached through a link
    // is not the folder that was asked for.
    QDir().mkpath(strSource);
    if (!ReachedWithoutLinks(strStaging, strSource + QLatin1Char('/'))) {
        CMessageBox::Error(m_frmWindow, CMessageBox::WithCause(
                                            c_strExtractError,
                                            QStringLiteral("フォルダがリンクです: ") + c_strNode));
        return false;
    }
    Drop_LinksLeaving(strStaging, {strSource});
    MakeMover(1)->Move(strSource, c_strDestination + strFolderName);
    return true;
}

void CForm_FilerMain_Driver::Edit_Open_Click_EventHandler(QObject* pSender) {
    const QList<int> vnRows = m_frmListView->SelectedRows();
    if (vnRows.isEmpty()) {
        CMessageBox::Error(m_frmWindow, c_strNoSelection);
        return;
    }
    if (vnRows.size() > 1 &&
        !CMessageBox::Warning_YesNo(
            m_frmWindow,
            QStringLiteral(
                "複数のファイルを1度に開いた場合、パソコンの動作が遅くなる可能性があります\n"
                "処理を続行しますか？")))
        return;

    // A viewer item carries its record's index; anything else uses the first viewer.
    std::optional<VIEWERAPPLICATION> stViewer;
    auto* pAction = qobject_cast<QAction*>(pSender);
    const bool bViewerItem =
        pAction != nullptr && pAction->data().isValid() &&
        std::any_of(
            std::begin(FormName::c_apszViewerMenus), std::end(FormName::c_apszViewerMenus),
            [pAction](const char* pszMenu) {
                return pAction->objectName().startsWith(QLatin1String(pszMenu) + QLatin1Char('_'));
            });
    const int nIndex = bViewerItem ? pAction->data().toInt() : 0;
    if (nIndex >= 0 && nIndex < m_lstViewers.size()) stViewer = m_lstViewers[nIndex];
    // No viewer configured at all: the desktop's association.
    const bool bAssociation = !stViewer || stViewer->strFilePath == QLatin1String(c_szRelateViewer);
    Edit_Open(bAssociation ? nullptr : &*stViewer);
}

bool CForm_FilerMain_Driver::Edit_Open(const VIEWERAPPLICATION* pstViewer) {
    if (SelectedEntries().isEmpty()) {
        CMessageBox::Error(m_frmWindow, c_strNoSelection);
        return false;
    }
    const QString strStaging = StagingFolder();
    if (strStaging.isEmpty()) return false;
    const QStringList lstEntries = StageableEntries(m_frmWindow, strStaging, SelectedEntries());
    if (lstEntries.isEmpty()) return false;
    const bool bExtracted = Extract_Staged(lstEntries, strStaging);
    // Nothing is opened after a cancel.
    if (m_bQuitting || m_bJobCancelled) return false;
    for (const QString& strEntry : lstEntries) {
        const QString strFile = StagedPath(strStaging, strEntry);
        // What failed to extract has been told already.
        if (!bExtracted && !Exists(strFile)) continue;
        QString strReason;
        if (!ReachedWithoutLinks(strStaging, strFile)) {
            CMessageBox::Error(
                m_frmWindow,
                CMessageBox::WithCause(QStringLiteral("ファイルを開くことができません"),
                                       QStringLiteral("フォルダがリンクです: ") + strEntry));
        } else if (!StartViewer(pstViewer, strFile, &strReason)) {
            CMessageBox::Error(m_frmWindow,
                               CMessageBox::WithCause(
                                   QStringLiteral("ファイルを開くことができません"), strReason));
        }
    }
    return true;
}

bool CForm_FilerMain_Driver::StartViewer(const VIEWERAPPLICATION* pstViewer,
                                         const QString& c_strFile, QString* pstrReason) {
    if (!QFileInfo::exists(c_strFile)) {
        *pstrReason = QStringLiteral("ファイルが見つかりません: ") + c_strFile;
        return false;
    }
    if (pstViewer == nullptr) {
        if (QDesktopServices::openUrl(QUrl::fromLocalFile(c_strFile))) return true;
        *pstrReason =
            QStringLiteral("このファイルに関連づけられたアプリケーションを起動できません");
        return false;
    }
    // The file's path is the program's one argument, whatever blanks it holds.
    QProcess process;
    process.setProgram(pstViewer->strFilePath);
    process.setArguments({c_strFile});
    if (process.startDetached()) return true;
    *pstrReason = pstViewer->strFilePath + QStringLiteral(": ") + process.errorString();
    return false;
}

Qt::DropAction CForm_FilerMain_Driver::DoDragDrop_ListView(QWidget* pSender) {
    if (SelectedEntries().isEmpty()) return Qt::IgnoreAction;
    const QString strStaging = StagingFolder();
    if (strStaging.isEmpty()) return Qt::IgnoreAction;
    const QStringList lstEntries = StageableEntries(m_frmWindow, strStaging, SelectedEntries());
    if (lstEntries.isEmpty()) return Qt::IgnoreAction;
    QStringList lstAnnounced;
    for (const QString& strEntry : lstEntries) lstAnnounced << StagedPath(strStaging, strEntry);
    auto* pData = new DataObject_DelayRender_Archive(lstAnnounced, this, lstEntries, strStaging,
                                                     /*bAnnouncesFolders=*/false);
    return StartDrag(pSender, pData);
}

Qt::DropAction CForm_FilerMain_Driver::DoDragDrop_TreeView(QWidget* pSender,
                                                           QTreeWidgetItem* pNode) {
    const QString strNode = CFolderTreeView::NodeName(pNode);
    if (!strNode.startsWith(QLatin1Char('/'))) return Qt::IgnoreAction;  // the all-files node
    const QString strStaging = StagingFolder();
    if (strStaging.isEmpty()) return Qt::IgnoreAction;
    if (StageableEntries(m_frmWindow, strStaging, {strNode}).isEmpty()) return Qt::IgnoreAction;
    QStringList lstFiles;
    m_pcArchive_Driver->Get_DirectoryFiles(strNode, lstFiles, true);
    auto* pData = new DataObject_DelayRender_Archive({StagedPath(strStaging, strNode).chopped(1)},
                                                     this, lstFiles, strStaging,
                                                     /*bAnnouncesFolders=*/true);
    return StartDrag(pSender, pData);
}

Qt::DropAction CForm_FilerMain_Driver::StartDrag(QWidget* pSender, QMimeData* pData) {
    return shelf_cli::DoDragDrop_Copy(pSender, pData);
}

}  // namespace kestrel
