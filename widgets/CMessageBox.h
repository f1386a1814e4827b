// The program's message boxes, in one place so that every caption, icon and button set is the
// same, and so that tests can answer them without a modal loop (SetHook).
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

namespace kestrel::CMessageBox {

// Caption "エラー", error icon, one OK button; c_strDetails (when not empty) behind a button
// that shows it in full, copyable.
void Error(QWidget* pParent, const QString& c_strText, const QString& c_strDetails = QString());
// Caption "ケストレル", information icon, one OK button: a report, not a failure.
void Information(QWidget* pParent, const QString& c_strText,
                 const QString& c_strDetails = QString());
// Caption "警告", warning icon, Yes and No with No preselected; true only for Yes.
bool Warning_YesNo(QWidget* pParent, const QString& c_strText);

// A hook sees every box instead of the user: icon, caption, text, details, buttons; it returns
// the button pressed. An empty hook restores the real boxes.
using Hook = std::function<QMessageBox::StandardButton(
    QMessageBox::Icon, const QString& c_strCaption, const QString& c_strText,
    const QString& c_strDetails, QMessageBox::StandardButtons eButtons)>;
void SetHook(Hook hook);

// "text\n\n■原因\n" + reason: the form of every failure that carries a cause.
QString WithCause(const QString& c_strText, const QString& c_strCause);

}  // namespace kestrel::CMessageBox
