// The controller behind the main window: the window forwards every user action here, and this
// class opens archives (on its background worker), runs the commands, applies the settings and
// keeps the folder tree, the file list and the status bar up to date.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <Qt>
#include <cstdint>
#include <functional>
#include <memory>

#include "CNameFilter.h"
#include "ExtractObserver.h"
#include "IConfigTarget.h"
#include "STConfig.h"

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QMimeData;
class QObject;
class QProgressBar;
class QStatusBar;
class QToolBar;
class QTreeWidgetItem;
class QWidget;

namespace kestrel {

class CArchive_Driver;
class CConfig;
class CExtractJob;
class CFileListModel;
class CFileListView;
class CFileMover;
class CFileOpenWorker;
class CFolderTreeView;
class Form_FilerMain;

class CForm_FilerMain_Driver : public IConfigTarget {
public:
    // The controls are lent by the window and live as long as it does. Loads the settings
    // ($KESTREL_CONFIG names another settings file, for tests and portable set-ups).
    CForm_FilerMain_Driver(Form_FilerMain* frmWindow, CFolderTreeView* frmTreeView,
                           CFileListView* frmListView, QLabel* frmListLabel, QMenuBar* frmMenuStrip,
                           QToolBar* frmToolStrip, QStatusBar* frmStatusStrip,
                           QLabel* frmStatusLabel_Select, QLabel* frmStatusLabel_Directory,
                           QLabel* frmStatusLabel_Archive, QProgressBar* frmStatusProgressBar,
                           QMenu* frmTreeView_ContextMenuStrip,
                           QMenu* frmListView_ContextMenuStrip);
    // Stores the window placement and the history into the settings as they are on disk now.
    ~CForm_FilerMain_Driver() override;
    CForm_FilerMain_Driver(const CForm_FilerMain_Driver&) = delete;
    CForm_FilerMain_Driver& operator=(const CForm_FilerMain_Driver&) = delete;

    // True while an archive is being read.
    bool bFileOpenMode() const { return m_bFileOpenMode; }
    CArchive_Driver* pcArchive_Driver() const { return m_pcArchive_Driver.get(); }
    CConfig* pcConfig() const { return m_pcConfig.get(); }
    CFileListModel* pcFileListModel() const { return m_pcFileListModel.get(); }

    // --- open workflow ---
    virtual void File_Open(const QString& c_strFileName);
    // The first archive named on the command line opens here, every other one in a new instance
    // (a file manager hands over all the files the user opened at once).
    virtual void File_Open_CommandArgs();
    virtual void File_Open_OpenDialog();
    // An empty c_strOpenFileName starts a new instance without a file.
    virtual void File_Open_NewWindow(const QString& c_strOpenFileName, bool bAllowCurrentWindow);
    virtual void File_Open_NewWindows(const QStringList& c_strOpenFileNames);
    // Rebuilds the recent-files menu, newest first; files gone since are dropped from it.
    virtual void UI_Update_RecentFiles();
    // Starts this program again with the path as its one argument (after "--" when it begins
    // with "-"); false when it could not be started (the user has been told).
    virtual bool File_Open_StartProcess(const QString& c_strFileName);
    virtual void File_Close();
    virtual void RestoreWindow();
    // Blocks until a running open has completed.
    void Wait_FileOpen();

    // --- commands on the selected entries; false when nothing was done ---
    virtual bool Edit_Extract_ListView();
    virtual bool Edit_Extract_TreeView(bool bIncludeSubFolder);
    // The whole archive with its folders, as its root folder with subfolders.
    virtual bool Edit_Extract_Archive();
    virtual void Edit_Open_Click_EventHandler(QObject* pSender);
    // pstViewer null: the desktop's association.
    virtual bool Edit_Open(const VIEWERAPPLICATION* pstViewer);
    // Run a drag out of the list or the tree to its end; the result is the drop's effect.
    virtual Qt::DropAction DoDragDrop_ListView(QWidget* pSender);
    virtual Qt::DropAction DoDragDrop_TreeView(QWidget* pSender, QTreeWidgetItem* pNode);
    // True with the chosen folder (ending in "/") when the user picked one.
    virtual bool ExtractFolderBrowse(QString& strFolder);
    // Extracts entries into a staging folder, with folders and overwriting, under a busy cursor.
    // A failure is told to the user, at once or (bTellLater, inside a drop) once control is
    // back in the event loop; the result is false then.
    bool Extract_Staged(const QStringList& c_lstFiles, const QString& c_strDirectory,
                        bool bTellLater = false);
    // After extraction into a staging folder: deletes the links in the items about to be handed
    // out (c_lstItems, paths in the staging folder) that would lead out of the folder the items
    // land in, and names them to the user (later, with bTellLater). Returns the items left.
    QStringList Drop_LinksLeaving(const QString& c_strStaging, const QStringList& c_lstItems,
                                  bool bTellLater = false);
    // Whether the last Extract_Staged was cancelled by the user.
    bool bLastJobCancelled() const { return m_bJobCancelled; }

    // --- jobs (extractions and tests run off the UI thread) ---
    // 書庫を検査: decodes every entry and reports which are sound; false when nothing was done.
    virtual bool Edit_Check_Archive();
    // Quitting: cancels a running job and waits until it has let go of the archive driver; the
    // command that started it then stops without doing more.
    void Quit_Job();
    bool bJobRunning() const { return m_pcJob != nullptr; }

    // --- views and status bar ---
    virtual void UI_Update_FolderList(QTreeWidgetItem* pNode);
    // The list shows the rows of the folder whose name contains c_strText (CNameFilter's
    // rules); all of them for an empty text. Kept when another folder is selected.
    virtual void UI_Update_Filter(const QString& c_strText);
    // Readies the search of the shown folder (a million names take a noticeable moment).
    virtual void UI_Prepare_Filter();
    // Selects the folder above the selected one in the tree.
    virtual void UI_Select_ParentFolder();
    // One list row's selected state has changed.
    virtual void UI_Update_SelectItemStatus(int nRow, bool bIsSelected);
    virtual void UI_Update_StatusBar_ItemWidth();
    int32_t nSelectedItemCount() const { return m_nSelectedItemCount; }
    // Saturates at INT64_MAX: sizes are what the archive declares.
    int64_t llSelectedItemFileSize() const {
        return m_llSelectedItemFileSize > INT64_MAX
                   ? INT64_MAX
                   : static_cast<int64_t>(m_llSelectedItemFileSize);
    }

    virtual void ShowDialog_Config();
    virtual void ShowDialog_About();

    // --- IConfigTarget ---
    bool Set_TempDirectory(const QString& strBase, QString* pstrError) override;
    void Set_ListViewRowsPluralColor(bool bValue) override;
    void UI_Update_ViewerApplications(const QList<VIEWERAPPLICATION>& c_lstViewers) override;

protected:
    void File_Open_ProgressChanged(int nValue);
    void File_Open_RunWorkerCompleted(bool bCancelled);
    // The message after a failed open, with its reason when the archiver gave one worth telling.
    QString OpenFailedText() const;
    void UI_Update_FileOpenMode_Start();
    void UI_Update_FileOpenMode_End(bool bFileOpenSuccess);
    void UI_Update_FileOpenMode_StatusBar();
    void UI_Update_EditArchive(bool bEdit);
    void UI_Update_SelectStatusText();
    // Shows the rows of the folder the filter finds, and the folder's figures.
    void UI_Update_FilteredList();
    // Extracts a folder of the tree (its archive path) after the destination has been chosen.
    bool Extract_TreeFolder(const QString& c_strNode, const QString& c_strDestination,
                            bool bIncludeSubFolder);
    QAction* FindAction(const char* c_pszName) const;
    void SetItemEnabled(const char* c_pszName, bool bEnabled) const;
    QMenu* FindMenu(const char* c_pszName) const;
    void SaveWindowPlacement();
    // The program itself, then the archives named on the command line (options left out).
    virtual QStringList Get_CommandArgs() const;
    // Whether the format of the open archive can extract.
    virtual bool Is_ExtractSupported() const;
    // Runs a drag of pData (taking it over) to its end; the result is the drop's effect.
    virtual Qt::DropAction StartDrag(QWidget* pSender, QMimeData* pData);
    // The mover of one command that moves nItems items.
    virtual std::unique_ptr<CFileMover> MakeMover(int nItems);
    // Starts the viewer (null: the desktop's association) on one file; false with the reason.
    virtual bool StartViewer(const VIEWERAPPLICATION* pstViewer, const QString& c_strFile,
                             QString* pstrReason);
    // A fresh staging folder, or empty after telling the user there is none.
    QString StagingFolder();
    // Where a command that moves its files to a folder stages them: a fresh staging folder, or,
    // when the folder lies on another file system than the temporary folder, one below a private
    // folder made in it (mode 0700), so that the move is a rename. The private folder goes with
    // everything left in it when this goes.
    struct STAGING {
        QString strFolder;  // empty when there is none (the user has been told)
        QByteArray baPrivate;
        STAGING() = default;
        STAGING(const STAGING&) = delete;
        STAGING& operator=(const STAGING&) = delete;
        ~STAGING();
    };
    void StagingFolderFor(const QString& c_strDestination, STAGING* pstStaging);
    // Runs one extraction or test as a job (CExtractJob); the result is the work's.
    int32_t Run_Job(CExtractJob& cJob,
                    const std::function<int32_t(shelf::IExtractObserver*)>& fnWork);
    // Whether the declared size of the files fits where they are to be written; tells when not.
    bool Check_Room(const QStringList& c_lstFiles, const QString& c_strDirectory, bool bTellLater);
    // The error box after a job that left entries out: what and why, ten in the text, every one
    // in the details.
    void TellProblems(const QString& c_strHead, const CExtractJob& c_cJob, bool bTellLater);
    // The selected rows' archive paths, in list order.
    QStringList SelectedEntries() const;

    Form_FilerMain* m_frmWindow;
    CFolderTreeView* m_frmTreeView;
    CFileListView* m_frmListView;
    QLabel* m_frmListLabel;
    QMenuBar* m_frmMenuStrip;
    QToolBar* m_frmToolStrip;
    QStatusBar* m_frmStatusStrip;
    QLabel* m_frmStatusLabel_Select;
    QLabel* m_frmStatusLabel_Directory;
    QLabel* m_frmStatusLabel_Archive;
    QProgressBar* m_frmStatusProgressBar;
    QMenu* m_frmTreeView_ContextMenuStrip;
    QMenu* m_frmListView_ContextMenuStrip;

    std::unique_ptr<CFileOpenWorker> m_cmBackgroundWorker;
    std::unique_ptr<CArchive_Driver> m_pcArchive_Driver;
    std::unique_ptr<CFileListModel> m_pcFileListModel;
    std::unique_ptr<CConfig> m_pcConfig;
    QList<VIEWERAPPLICATION> m_lstViewers;  // what the viewer menu items carry, by index
    CNameFilter m_cNameFilter;              // of the rows of the selected folder
    QString m_strFilter;
    int32_t m_nFolderFileCount = 0;  // the selected folder's figures, unfiltered
    int64_t m_llFolderFileSize = 0;
    CExtractJob* m_pcJob = nullptr;  // the job running, if any
    bool m_bJobCancelled = false;
    bool m_bQuitting = false;

    bool m_bFileOpenMode = false;
    bool m_bEditArchive = false;
    bool m_bSelectStatusPending = false;
    int32_t m_nSelectedItemCount = 0;
    __int128 m_llSelectedItemFileSize = 0;  // wide: entries may each claim 2^63 - 1 bytes
};

}  // namespace kestrel
