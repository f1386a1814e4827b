#include "CMessageBox.h"

namespace kestrel::CMessageBox {

namespace {

Hook& CurrentHook() {
    static Hook hook;
    return hook;
}

QMessageBox::StandardButton Show(QWidget* pParent, QMessageBox::Icon eIcon,
                                 const QString& c_strCaption, const QString& c_strText,
                                 const QString& c_strDetails, QMessageBox::StandardButtons eButtons,
                                 QMessageBox::StandardButton eDefault) {
    if (CurrentHook()) return CurrentHook()(eIcon, c_strCaption, c_strText, c_strDetails, eButtons);
    QMessageBox box(eIcon, c_strCaption, c_strText, eButtons, pParent);
    box.setDefaultButton(eDefault);
    box.setDetailedText(c_strDetails);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

void Error(QWidget* pParent, const QString& c_strText, const QString& c_strDetails) {
    Show(pParent, QMessageBox::Critical, QStringLiteral("エラー"), c_strText, c_strDetails,
         QMessageBox::Ok, QMessageBox::Ok);
}

void Information(QWidget* pParent, const QString& c_strText, const QString& c_strDetails) {
    Show(pParent, QMessageBox::Information, QStringLiteral("ケストレル"), c_strText, c_strDetails,
         QMessageBox::Ok, QMessageBox::Ok);
}

bool Warning_YesNo(QWidget* pParent, const QString& c_strText) {
    return Show(pParent, QMessageBox::Warning, QStringLiteral("警告"), c_strText, QString(),
                QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void SetHook(Hook hook) {
    CurrentHook() = std::move(hook);
}

QString WithCause(const QString& c_strText, const QString& c_strCause) {
    return c_strText + QStringLiteral("\n\n■原因\n") + c_strCause;
}

}  // namespace kestrel::CMessageBox
