// The parts of the configuration manager. Each is bound to one sub-record of CConfig's current
// record (it never owns it) and applies that section to the program through IConfigTarget.
// Properties read or write the field of the same stem; applying happens only in Update.
#pragma once

#include <QString>
#include <memory>

#include "IConfigTarget.h"
#include "STConfig.h"

namespace kestrel {

class CGeneral {
public:
    CGeneral(IConfigTarget* pcTarget, STGeneral* pstGeneral);

    bool bFirstFolderOfAllFiles() const { return m_pstGeneral->bFirstFolderOfAllFiles; }
    void Set_FirstFolderOfAllFiles(bool bValue) { m_pstGeneral->bFirstFolderOfAllFiles = bValue; }
    bool bExpandTreeNode() const { return m_pstGeneral->bExpandTreeNode; }
    void Set_ExpandTreeNode(bool bValue) { m_pstGeneral->bExpandTreeNode = bValue; }
    bool bUseUserTempDirectory() const { return m_pstGeneral->bUseUserTempDirectory; }
    const QString& strUserTempDirectory() const { return m_pstGeneral->strUserTempDirectory; }

    // A usable base is an absolute path free of : * ? " < > |. An unusable one is replaced by
    // the system's temporary folder (result false). Either way the path ends in "/" after.
    static bool Check_UserTempDirectoryPath(QString& strUserTempDirectory);
    // Checks the user's folder (turning the switch off when it is unusable) and gives the
    // target its new temporary folder. When the folder cannot be created the system's
    // temporary folder is tried instead, and the result is false with the reason in
    // strLastError(); the record keeps the user's choice.
    bool Upadate_UserTempDirectory();
    const QString& strLastError() const { return m_strLastError; }

    bool Update(const STGeneral& c_stGeneral);
    bool Update();

private:
    IConfigTarget* m_pcTarget;  // not owned; may be null
    STGeneral* m_pstGeneral;
    QString m_strLastError;
};

class CExtract {
public:
    explicit CExtract(STExtract* pstExtract) : m_pstExtract(pstExtract) {}

    const QString& strLastExtractDirectory() const { return m_pstExtract->strLastExtractDirectory; }

    bool Update(const STExtract& c_stExtract);
    bool Update() { return true; }

private:
    STExtract* m_pstExtract;
};

class COpen {
public:
    COpen(IConfigTarget* pcTarget, STOpen* pstOpen) : m_pcTarget(pcTarget), m_pstOpen(pstOpen) {}

    const QList<VIEWERAPPLICATION>& stViewerApplications() const {
        return m_pstOpen->stViewerApplications;
    }

    // Viewer entries are not validated: a bad program shows its error when it is started.
    bool Upadate_ViewerApplications();
    bool Update(const STOpen& c_stOpen);
    bool Update();

private:
    IConfigTarget* m_pcTarget;
    STOpen* m_pstOpen;
};

// The main window's placement: nothing to apply, the window reads and writes it.
class CWindow {
public:
    explicit CWindow(STWindow* pstWindow) : m_pstWindow(pstWindow) {}

    bool bRestoreWindowPosition() const { return m_pstWindow->bRestoreWindowPosition; }
    void Set_RestoreWindowPosition(bool bValue) { m_pstWindow->bRestoreWindowPosition = bValue; }
    bool bRestoreWindowSize() const { return m_pstWindow->bRestoreWindowSize; }
    void Set_RestoreWindowSize(bool bValue) { m_pstWindow->bRestoreWindowSize = bValue; }
    EWindowState eWindowState() const { return m_pstWindow->eWindowState; }
    void Set_WindowState(EWindowState eValue) { m_pstWindow->eWindowState = eValue; }
    STRectangle stWindowBounds() const { return m_pstWindow->stWindowBounds; }
    void Set_WindowBounds(const STRectangle& c_stValue) { m_pstWindow->stWindowBounds = c_stValue; }
    STRectangle stWindowRestoreBounds() const { return m_pstWindow->stWindowRestoreBounds; }
    void Set_WindowRestoreBounds(const STRectangle& c_stValue) {
        m_pstWindow->stWindowRestoreBounds = c_stValue;
    }

    bool Update(const STWindow& c_stWindow);
    bool Update() { return true; }

private:
    STWindow* m_pstWindow;
};

class CView {
public:
    CView(IConfigTarget* pcTarget, STView* pstView);

    bool bListViewRowsPluralColor() const { return m_pstView->bListViewRowsPluralColor; }
    void Set_ListViewRowsPluralColor(bool bValue) { m_pstView->bListViewRowsPluralColor = bValue; }
    CWindow* pcWindow() const { return m_pcWindow.get(); }

    bool Update(const STView& c_stView);
    bool Update();

private:
    IConfigTarget* m_pcTarget;
    std::unique_ptr<CWindow> m_pcWindow;
    STView* m_pstView;
};

}  // namespace kestrel
