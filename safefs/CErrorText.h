// The reasons shown after "■原因": the one table from system error numbers to the texts the
// window shows. Reasons reported by the archivers will join it here.
#pragma once

#include <QString>

namespace kestrel::safefs {

// A Japanese text for the error numbers a user meets when files are written, moved or deleted;
// the system's own text for the others.
QString ErrnoText(int nErrno);

// ErrnoText and, on the next line, the path it concerns.
QString ErrnoText(int nErrno, const QString& c_strPath);

}  // namespace kestrel::safefs
