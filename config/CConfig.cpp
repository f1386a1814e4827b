#include "CConfig.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "CConfigFile.h"
#include "CMessageBox.h"
#include "Platform.h"

namespace kestrel {

CConfig::CConfig(IConfigTarget* pcTarget, const QString& c_strConfigFullPath)
    : m_pstConfig(std::make_unique<STConfig>()),
      m_pcGeneral(std::make_unique<CGeneral>(pcTarget, &m_pstConfig->stGeneral)),
      m_pcExtract(std::make_unique<CExtract>(&m_pstConfig->stExtract)),
      m_pcOpen(std::make_unique<COpen>(pcTarget, &m_pstConfig->stOpen)),
      m_pcView(std::make_unique<CView>(pcTarget, &m_pstConfig->stView)),
      m_strConfigFullPath(c_strConfigFullPath.isEmpty() ? Get_DefaultConfigFullPath()
                                                        : c_strConfigFullPath) {}

CConfig::~CConfig() = default;

QString CConfig::Get_ConfigFileName() {
    return QStringLiteral("kestrel.config.xml");
}

QString CConfig::Get_DefaultConfigFullPath() {
    if (!shelf::IsInstalledCopy()) {
        const QString c_strProgramFolder = QCoreApplication::applicationDirPath();
        if (QFileInfo(c_strProgramFolder).isWritable()) {
            return c_strProgramFolder + u'/' + Get_ConfigFileName();
        }
    }
    // Named here rather than after the application, which a test program or a renamed
    // executable would change.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/kestrel/") + Get_ConfigFileName();
}

bool CConfig::Load() {
    std::optional<STConfig> stRead = CConfigFile::Read(m_strConfigFullPath);
    Update(stRead ? *stRead : STConfig());
    return stRead.has_value();
}

bool CConfig::Save() {
    const STConfig c_stMerged = WithHistory(*m_pstConfig, CConfigFile::Read(m_strConfigFullPath));
    if (!Write(c_stMerged)) return false;
    // The menu shows what other windows have opened too from now on.
    m_pstConfig->stGeneral.lstRecentFiles = c_stMerged.stGeneral.lstRecentFiles;
    m_pstConfig->stExtract = c_stMerged.stExtract;
    return true;
}

bool CConfig::Save_AtExit() {
    const std::optional<STConfig> c_stDisk = CConfigFile::Read(m_strConfigFullPath);
    STConfig stBase = c_stDisk.value_or(*m_pstConfig);
    const STWindow& c_stWindow = m_pstConfig->stView.stWindow;
    // The restore switches are options: the dialog's, not the placement's.
    stBase.stView.stWindow.eWindowState = c_stWindow.eWindowState;
    stBase.stView.stWindow.stWindowBounds = c_stWindow.stWindowBounds;
    stBase.stView.stWindow.stWindowRestoreBounds = c_stWindow.stWindowRestoreBounds;
    return Write(WithHistory(std::move(stBase), c_stDisk));
}

STConfig CConfig::WithHistory(STConfig stBase, const std::optional<STConfig>& c_stDisk) const {
    const STConfig& c_stOthers = c_stDisk ? *c_stDisk : *m_pstConfig;
    // This window's archives are in their places already (written as they were opened); one
    // missing there, whose write failed, goes after the others rather than nowhere.
    QStringList lstRecent = c_stOthers.stGeneral.lstRecentFiles;
    for (const QString& c_strFile : m_lstOpenedHere)
        if (!lstRecent.contains(c_strFile)) lstRecent.append(c_strFile);
    stBase.stGeneral.lstRecentFiles = lstRecent.mid(0, c_nMaxRecentFiles);
    stBase.stExtract.strLastExtractDirectory =
        (m_bLastExtractDirectorySet ? *m_pstConfig : c_stOthers).stExtract.strLastExtractDirectory;
    return stBase;
}

void CConfig::Add_RecentFile(const QString& c_strPath) {
    if (c_strPath.isEmpty() || !CConfigFile::IsStorable(c_strPath)) return;
    m_lstOpenedHere.removeAll(c_strPath);
    m_lstOpenedHere.prepend(c_strPath);
    // Into the file at once, so that the list keeps the order in which every window opened its
    // archives. Quietly: the end of the window saves again and tells what fails.
    std::optional<STConfig> stDisk = CConfigFile::Read(m_strConfigFullPath);
    QStringList lstRecent = (stDisk ? *stDisk : *m_pstConfig).stGeneral.lstRecentFiles;
    lstRecent.removeAll(c_strPath);
    lstRecent.prepend(c_strPath);
    lstRecent = lstRecent.mid(0, c_nMaxRecentFiles);
    m_pstConfig->stGeneral.lstRecentFiles = lstRecent;
    if (!stDisk) return;
    stDisk->stGeneral.lstRecentFiles = lstRecent;
    QString strIgnored;
    CConfigFile::Write(m_strConfigFullPath, *stDisk, &strIgnored);
}

QStringList CConfig::Get_RecentFiles() {
    auto fnMissing = [](const QString& c_strFile) { return !QFileInfo::exists(c_strFile); };
    m_lstOpenedHere.removeIf(fnMissing);
    QStringList& lstRecent = m_pstConfig->stGeneral.lstRecentFiles;
    lstRecent.removeIf(fnMissing);
    return lstRecent;
}

void CConfig::Set_LastExtractDirectory(const QString& c_strFolder) {
    if (!CConfigFile::IsStorable(c_strFolder)) return;
    m_pstConfig->stExtract.strLastExtractDirectory = c_strFolder;
    m_bLastExtractDirectorySet = true;
}

bool CConfig::Write(const STConfig& c_stConfig) {
    QString strReason;
    if (CConfigFile::Write(m_strConfigFullPath, c_stConfig, &strReason)) {
        m_strLastError.clear();
        return true;
    }
    m_strLastError = CMessageBox::WithCause(
        QStringLiteral("設定ファイルの保存中にエラーが発生しました"), strReason);
    CMessageBox::Error(m_pMessageOwner, m_strLastError);
    return false;
}

bool CConfig::Update(const STConfig& c_stConfig) {
    // The parts keep pointing at the same sub-records; only their contents change.
    *m_pstConfig = c_stConfig;
    return Update();
}

bool CConfig::Update() {
    m_strLastError.clear();
    const bool c_bGeneral = m_pcGeneral->Update();
    m_pcExtract->Update();
    m_pcOpen->Update();
    m_pcView->Update();
    if (c_bGeneral) return true;
    m_strLastError = CMessageBox::WithCause(
        QStringLiteral("一時フォルダの作成中にエラーが発生しました"), m_pcGeneral->strLastError());
    CMessageBox::Error(m_pMessageOwner, m_strLastError);
    return false;
}

}  // namespace kestrel
