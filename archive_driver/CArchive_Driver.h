// The application's one object for the open archive: opening (on the open worker) and closing,
// summary figures, the instance temporary folder, the folder tree and file-list rows built from
// the archive file tree, file-type names and icons, and extraction requests. It shows nothing:
// failures come back as false, negative results or error texts.
#pragma once

#include <QColor>
#include <QHash>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "CArchive_FileTree.h"
#include "CArchive_Unify_Facade.h"
#include "CIconList.h"
#include "UniqueFd.h"

class QStandardItem;
class QWidget;

namespace kestrel {

using NODE = shelf::NArchive::ARCHIVEFILETREE_NODE;

// One row of the file list. Texts are formed when a view asks for them (CFileListModel), so a
// row is small: the entry's node, its file type and its stripe.
struct ListViewItem {
    const NODE* pNode = nullptr;
    int32_t nExtIndex = 0;  // into CArchive_Driver's file types
    bool bAzure = false;
};

class CArchive_Driver {
public:
    struct FILE_EXT {
        QString strType;
        int32_t nImageListIndex = 0;
    };

    // Folder-tree items carry their archive path under this role ("Name"); "" is the
    // all-files node, "/" the root.
    static constexpr int NameRole = Qt::UserRole + 1;

    static const QColor clrAzure;
    static const QColor clrWhite;

    CArchive_Driver();
    ~CArchive_Driver();
    CArchive_Driver(const CArchive_Driver&) = delete;
    CArchive_Driver& operator=(const CArchive_Driver&) = delete;

    // --- opening and closing (Open runs on the open worker) ---
    using ProgressFunction = std::function<void(int32_t)>;
    // fnReportProgress may be empty; it gets the read progress in thousandths after every
    // eighth entry and once at the end.
    bool Open(const QString& strArchiveFileName, const ProgressFunction& fnReportProgress = {});
    // Why the last Open failed (KESTREL_REASON_*, 0 when unknown); its text:
    // shelf_cli::CArchive_Unify::OpenFailureText.
    uint32_t nOpenFailureReason() const { return m_pcArchive->OpenReason(); }
    bool Close();

    // --- temporary folders: every folder path formed here ends in "/" ---
    // False, with the reason in pstrError, when the new folder could not be created. Instance
    // folders left behind below the same base by instances that have ended are removed first.
    bool Set_TempDirectory(const QString& strDirectory, QString* pstrError = nullptr);
    QString Generate_TempDirectoryName(const QString& strDirectory) const;
    QString Generate_ExtractTempDirectoryName() const;
    // Creates a new folder (mode 0700, missing parents made) and takes it as the instance
    // folder. Refuses a folder that exists already: only what was made here is ever deleted.
    bool Create_TempDirectory(const QString& strDirectory, QString* pstrError = nullptr);
    // Deletes the instance folder and everything in it without following links out of it.
    bool Cleanup_TempDirectory();
    const QString& strTempDirectory() const { return m_strTempDirectory; }

    // --- folder tree and file list ---
    int32_t Get_DirectoryTree(QStandardItem*& frmTreeNodeRoot);
    int32_t Get_DirectoryTree(const QString& strDirectory, QStandardItem& frmTreeNode);
    // strDirectory "" lists the whole archive. The rows' icons are in the returned list.
    int32_t Get_FileListViewItems(const QString& strDirectory,
                                  std::vector<ListViewItem>& frmListViewItems,
                                  const CIconList*& clrImageList, int32_t& nFileCount,
                                  int64_t& nOriginalSize, int64_t& nCompressedSize);
    // Sum of the original sizes of the entries named by the rows' keys.
    int64_t Get_SelectedFilesSize(const QStringList& c_strKeys) const;
    const NODE* FindNode(const QString& c_strPath) const;

    // --- file types and icons ---
    FILE_EXT GetExtInfo(const QString& strFileExt);
    const FILE_EXT& ExtInfo(int32_t nExtIndex) const { return m_vExt.at(nExtIndex); }
    static QString GetFileExt(const QString& strFileName);
    static QString GetDefaultFileType(const QString& strFileExt);
    void Clear_IconHandleCache();
    const CIconList& IconList() const { return m_ilIcon; }

    // --- extraction requests ---
    // pcObserver (may be null) is told how far the extraction is and what was not extracted
    // and why (its texts: shelf_cli::CArchive_Unify::ReasonText), and is asked for passwords;
    // calls come on this thread or on one the archiver starts, never after the call returns.
    // Nothing else may touch this object meanwhile. Result: the number of paths, or -1 failed
    // (or not everything extracted), -2 no response file could be written, -3 cancelled by the
    // observer (what was finished stays, nothing half-written does).
    int32_t Extract(const QStringList& strExtractFiles, const QString& strThawDirectory,
                    bool bOverwrite, bool bDirectoryPath,
                    shelf::IExtractObserver* pcObserver = nullptr);
    // Decodes and checks the entries, writing nothing; the observer hears of each entry that is
    // not sound. Results as Extract's (-1: some entry is not sound).
    int32_t Test(const QStringList& strFiles, shelf::IExtractObserver* pcObserver = nullptr);
    int32_t Get_DirectoryFiles(const QString& strDirectory, QStringList& strFiles,
                               bool bSubDirectory) const;
    // What the archiver said about the last extraction that failed; may be empty.
    QString strLastExtractMessage() const { return m_pcArchive->LastMessage(); }

    // --- properties ---
    void setFrmWindow(const QWidget* frmWindow) { m_frmWindow = frmWindow; }
    const QString& strFileName() const { return m_strFileName; }
    const QString& strFileFullPath() const { return m_strFileFullPath; }
    int32_t nFileCount() const { return m_nFileCount; }
    int64_t llFileSize() const { return m_llFileSize; }
    int64_t llCompressFileSize() const { return m_llCompressFileSize; }
    int64_t llExtractFileSize() const { return m_llExtractFileSize; }
    double dAvgRatio() const { return m_dAvgRatio; }
    bool bFileOpened() const { return m_bFileOpened; }
    // Null when no format describes the current archive.
    const shelf_cli::NArchive::ARCHIVE_PROPERTY* pstProperty() const {
        return m_pstProperty ? &*m_pstProperty : nullptr;
    }
    const QList<shelf_cli::NArchive::ARCHIVE_PROPERTY>& pstPropertys() const {
        return m_pstPropertys;
    }
    bool bListViewRowsPluralColor() const { return m_bListViewRowsPluralColor; }
    void setBListViewRowsPluralColor(bool bValue) { m_bListViewRowsPluralColor = bValue; }

private:
    int32_t GetExtIndex(std::wstring_view c_strFileName);
    // The same for a node's name, without making a wide copy of it when the extension is short.
    int32_t GetExtIndex(const shelf::CTreeString& c_strFileName);
    int32_t Create_FileListViewItems(const NODE* pstNode, std::vector<ListViewItem>& frmItems,
                                     int32_t nIndex);
    int32_t Create_AllFileListViewItems(const NODE* pstNode, std::vector<ListViewItem>& frmItems,
                                        int32_t nIndex);
    static int32_t Create_FileList(const NODE* pstNode, QStringList& strFiles);
    static int32_t Create_AllFileList(const NODE* pstNode, QStringList& strFiles);

    struct WStringHash {
        using is_transparent = void;
        size_t operator()(std::wstring_view c_str) const {
            return std::hash<std::wstring_view>()(c_str);
        }
    };

    const QWidget* m_frmWindow = nullptr;
    std::unique_ptr<shelf_cli::CArchive_Unify> m_pcArchive;
    std::unique_ptr<shelf::CArchive_FileTree> m_pcFileTree;
    QString m_strFileFullPath;
    QString m_strFileName;
    int32_t m_nFileCount = 0;
    int64_t m_llFileSize = 0;
    int64_t m_llCompressFileSize = 0;
    int64_t m_llExtractFileSize = 0;
    double m_dAvgRatio = 0.0;
    bool m_bFileOpened = false;
    // File-type cache: one entry per exact extension spelling per opened archive.
    std::unordered_map<std::wstring, int32_t, WStringHash, std::equal_to<>> m_stExtCache;
    std::vector<FILE_EXT> m_vExt;
    CIconList m_ilIcon;
    std::optional<shelf_cli::NArchive::ARCHIVE_PROPERTY> m_pstProperty;
    QList<shelf_cli::NArchive::ARCHIVE_PROPERTY> m_pstPropertys;
    QString m_strTempDirectory;
    UniqueFd m_fdInstanceMark;  // held while the instance folder is in use
    bool m_bListViewRowsPluralColor = false;
};

}  // namespace kestrel
