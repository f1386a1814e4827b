// What the drag and move tests share: a recorder of the message boxes that would have been shown.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <ostream>

#include "CMessageBox.h"
#include "common/MessageRecorder.h"

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& c_str, std::ostream* pOut) {
    *pOut << '"' << c_str.toStdString() << '"';
}
QT_END_NAMESPACE

namespace kestrel::test {}  // namespace kestrel::test
