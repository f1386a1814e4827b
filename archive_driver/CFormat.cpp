#include "CFormat.h"

#include <QLocale>

#include "Platform.h"

namespace kestrel::CFormat {

namespace {

const QLocale& Japanese() {
    static const QLocale locale(QLocale::Japanese, QLocale::Japan);
    return locale;
}

}  // namespace

QString Number(int64_t llValue) {
    return Japanese().toString(static_cast<qlonglong>(llValue));
}

QString Decimal(double dValue, int nDecimals) {
    return Japanese().toString(dValue, 'f', nDecimals);
}

QString Ratio(double dRatio) {
    return Decimal(dRatio * 100.0, 1) + QLatin1Char('%');
}

QString FileTime(const shelf::NArchive::FILETIME& c_ftTime) {
    return QString::fromLatin1(shelf::FileTimeText(
        (static_cast<uint64_t>(c_ftTime.dwHighDateTime) << 32) | c_ftTime.dwLowDateTime));
}

}  // namespace kestrel::CFormat
