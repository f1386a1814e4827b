// The reasons shown after "■原因" for system errors, from the one table of their Japanese texts
// (base/ErrnoText.h), which the archivers' reasons use as well.
#pragma once

#include <QString>

namespace kestrel::safefs {

// The Japanese text of an error number; the system's own text for the others.
QString ErrnoText(int nErrno);

// ErrnoText and, on the next line, the path it concerns.
QString ErrnoText(int nErrno, const QString& c_strPath);

}  // namespace kestrel::safefs
