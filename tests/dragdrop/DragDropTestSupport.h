// What the drag and move tests share: a recorder of the message boxes that would have been shown.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <ostream>

#include "CMessageBox.h"

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& c_str, std::ostream* pOut) {
    *pOut << '"' << c_str.toStdString() << '"';
}
QT_END_NAMESPACE

namespace kestrel::test {

// Collects every message box while it lives; each is answered with OK.
class MessageRecorder {
public:
    MessageRecorder() {
        CMessageBox::SetHook([this](QMessageBox::Icon eIcon, const QString& c_strCaption,
                                    const QString& c_strText, QMessageBox::StandardButtons) {
            lstIcons.append(eIcon);
            lstCaptions.append(c_strCaption);
            lstTexts.append(c_strText);
            return QMessageBox::Ok;
        });
    }
    ~MessageRecorder() { CMessageBox::SetHook({}); }

    QList<QMessageBox::Icon> lstIcons;
    QStringList lstCaptions;
    QStringList lstTexts;
};

}  // namespace kestrel::test
