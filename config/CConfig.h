// The configuration manager: holds the current settings record, loads and saves
// "kestrel.config.xml", and applies the settings to the program through IConfigTarget.
//
// Failures: reading is silent (the defaults apply). Saving and applying report to the user
// themselves with CMessageBox::Error (owner: Set_MessageOwner) and return false; the text
// shown last stays in strLastError() for callers that want it.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>
#include <optional>

#include "CConfigParts.h"
#include "IConfigTarget.h"
#include "STConfig.h"

namespace kestrel {

class CConfig {
public:
    // pcTarget is not owned and may be null (nothing is applied then). An empty
    // c_strConfigFullPath means Get_DefaultConfigFullPath(); it is fixed here, so Load and Save
    // always use the same file.
    explicit CConfig(IConfigTarget* pcTarget, const QString& c_strConfigFullPath = QString());
    ~CConfig();
    CConfig(const CConfig&) = delete;
    CConfig& operator=(const CConfig&) = delete;

    static QString Get_ConfigFileName();  // "kestrel.config.xml"
    // An installed copy: always the user's configuration folder ($XDG_CONFIG_HOME/kestrel/,
    // by default ~/.config/kestrel/). A build folder or a portable copy: beside the executable
    // when that folder is writable, otherwise the same user folder.
    static QString Get_DefaultConfigFullPath();
    const QString& Get_ConfigFullPath() const { return m_strConfigFullPath; }

    // Reads the file and applies it; anything missing or not understood gives the defaults.
    // True when the file was read.
    bool Load();
    // Writes the current record, with the history merged into the one on disk now (Save_AtExit).
    // The old file stays as it was when that fails; the user is told why and the result is false.
    bool Save();
    // At the end of a window: every window is a process of its own, and another may have saved
    // its options since this one loaded. Writes into the settings as they are on disk now only
    // what this window owns: its placement, the archives it opened (kept in the recent list) and
    // the extraction folder it chose. A file that cannot be read
    // is replaced by the whole record, as Save does.
    bool Save_AtExit();

    // --- history: what the user did in this window ---
    // An archive opened here (an absolute path) goes first in the recent list, in the file too
    // when it can be read (other windows' lists are kept); paths the file cannot carry are not.
    void Add_RecentFile(const QString& c_strPath);
    // The recent list, newest first, without the files that no longer exist (dropped from it).
    QStringList Get_RecentFiles();
    void Set_LastExtractDirectory(const QString& c_strFolder);

    // Adopts a copy of the record and applies every section. False when the temporary folder
    // could not be created (the user has been told; the system's one is used instead).
    bool Update(const STConfig& c_stConfig);
    // Applies every section again from the current record.
    bool Update();

    const STConfig& pstConfig() const { return *m_pstConfig; }
    CGeneral* pcGeneral() const { return m_pcGeneral.get(); }
    CExtract* pcExtract() const { return m_pcExtract.get(); }
    COpen* pcOpen() const { return m_pcOpen.get(); }
    CView* pcView() const { return m_pcView.get(); }

    // Parent of the message boxes; null until the window sets it.
    void Set_MessageOwner(QWidget* pOwner) { m_pMessageOwner = pOwner; }
    // The message text of the last failed Save or Update; empty when the last one succeeded.
    const QString& strLastError() const { return m_strLastError; }

private:
    // c_stBase with the history of this window merged into the one of c_stDisk.
    STConfig WithHistory(STConfig stBase, const std::optional<STConfig>& c_stDisk) const;
    bool Write(const STConfig& c_stConfig);

    std::unique_ptr<STConfig> m_pstConfig;
    std::unique_ptr<CGeneral> m_pcGeneral;
    std::unique_ptr<CExtract> m_pcExtract;
    std::unique_ptr<COpen> m_pcOpen;
    std::unique_ptr<CView> m_pcView;
    QString m_strConfigFullPath;
    QPointer<QWidget> m_pMessageOwner;
    QString m_strLastError;
    QStringList m_lstOpenedHere;  // newest first
    bool m_bLastExtractDirectorySet = false;
};

}  // namespace kestrel
