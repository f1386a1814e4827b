#include "CConfigParts.h"

#include <QRegularExpression>

namespace kestrel {

CGeneral::CGeneral(IConfigTarget* pcTarget, STGeneral* pstGeneral)
    : m_pcTarget(pcTarget), m_pstGeneral(pstGeneral) {}

bool CGeneral::Check_UserTempDirectoryPath(QString& strUserTempDirectory) {
    static const QRegularExpression c_rxUsable(
        QRegularExpression::anchoredPattern(QStringLiteral("/[^:*?\"<>|]*")));
    const bool c_bUsable = c_rxUsable.match(strUserTempDirectory).hasMatch();
    if (!c_bUsable) strUserTempDirectory = Get_SystemTempDirectory();
    if (!strUserTempDirectory.endsWith(u'/')) strUserTempDirectory += u'/';
    return c_bUsable;
}

bool CGeneral::Upadate_UserTempDirectory() {
    m_strLastError.clear();
    if (!Check_UserTempDirectoryPath(m_pstGeneral->strUserTempDirectory)) {
        m_pstGeneral->bUseUserTempDirectory = false;
    }
    if (!m_pcTarget) return true;

    const QString c_strSystem = Get_SystemTempDirectory();
    const QString c_strBase =
        m_pstGeneral->bUseUserTempDirectory ? m_pstGeneral->strUserTempDirectory : c_strSystem;
    QString strError;
    if (m_pcTarget->Set_TempDirectory(c_strBase, &strError)) return true;
    m_strLastError = strError.isEmpty() ? c_strBase : strError;

    // Files must still be staged somewhere for viewers and drags during this run.
    if (c_strBase != c_strSystem) {
        strError.clear();
        if (!m_pcTarget->Set_TempDirectory(c_strSystem, &strError)) {
            m_strLastError += u'\n' + (strError.isEmpty() ? c_strSystem : strError);
        }
    }
    return false;
}

bool CGeneral::Update(const STGeneral& c_stGeneral) {
    *m_pstGeneral = c_stGeneral;
    return Update();
}

bool CGeneral::Update() {
    return Upadate_UserTempDirectory();
}

bool CExtract::Update(const STExtract& c_stExtract) {
    *m_pstExtract = c_stExtract;
    return Update();
}

bool COpen::Upadate_ViewerApplications() {
    if (m_pcTarget) m_pcTarget->UI_Update_ViewerApplications(m_pstOpen->stViewerApplications);
    return true;
}

bool COpen::Update(const STOpen& c_stOpen) {
    *m_pstOpen = c_stOpen;
    return Update();
}

bool COpen::Update() {
    return Upadate_ViewerApplications();
}

bool CWindow::Update(const STWindow& c_stWindow) {
    *m_pstWindow = c_stWindow;
    return Update();
}

CView::CView(IConfigTarget* pcTarget, STView* pstView)
    : m_pcTarget(pcTarget),
      m_pcWindow(std::make_unique<CWindow>(&pstView->stWindow)),
      m_pstView(pstView) {}

bool CView::Update(const STView& c_stView) {
    *m_pstView = c_stView;
    return Update();
}

bool CView::Update() {
    if (m_pcTarget) m_pcTarget->Set_ListViewRowsPluralColor(m_pstView->bListViewRowsPluralColor);
    return m_pcWindow->Update();
}

}  // namespace kestrel
