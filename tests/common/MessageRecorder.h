// Collects every message box shown while it lives instead of showing it. Yes/No questions are
// answered with bAnswerYes, everything else with OK.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "CMessageBox.h"

namespace kestrel::test {

class MessageRecorder {
public:
    MessageRecorder() {
        CMessageBox::SetHook([this](QMessageBox::Icon eIcon, const QString& c_strCaption,
                                    const QString& c_strText,
                                    QMessageBox::StandardButtons eButtons) {
            lstIcons.append(eIcon);
            lstCaptions.append(c_strCaption);
            lstTexts.append(c_strText);
            if (eButtons & QMessageBox::Yes) return bAnswerYes ? QMessageBox::Yes : QMessageBox::No;
            return QMessageBox::Ok;
        });
    }
    ~MessageRecorder() { CMessageBox::SetHook({}); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    QList<QMessageBox::Icon> lstIcons;
    QStringList lstCaptions;
    QStringList lstTexts;
    bool bAnswerYes = true;
};

}  // namespace kestrel::test
