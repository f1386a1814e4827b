#include "CErrorText.h"

#include <cstring>

#include "ErrnoText.h"

namespace kestrel::safefs {

QString ErrnoText(int nErrno) {
    if (const char* c_psz = JapaneseErrnoText(nErrno)) return QString::fromUtf8(c_psz);
    return QString::fromLocal8Bit(std::strerror(nErrno));
}

QString ErrnoText(int nErrno, const QString& c_strPath) {
    return ErrnoText(nErrno) + QLatin1Char('\n') + c_strPath;
}

}  // namespace kestrel::safefs
