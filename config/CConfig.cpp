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
    QString strReason;
    if (CConfigFile::Write(m_strConfigFullPath, *m_pstConfig, &strReason)) {
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
