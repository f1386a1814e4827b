#include "CFormat.h"

#include <QLocale>

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
    if (c_ftTime.dwHighDateTime == 0xFFFFFFFFu) return QStringLiteral("??\\?? ??:??:??");
    const uint64_t nTicks =
        (static_cast<uint64_t>(c_ftTime.dwHighDateTime) << 32) | c_ftTime.dwLowDateTime;
    int64_t nSeconds = static_cast<int64_t>(nTicks / 10'000'000u);
    // Days since 1601-01-01 to a civil date (proleptic Gregorian), 1601 being the start of a
    // 400-year cycle.
    int64_t nDays = nSeconds / 86400;
    const int nSecondOfDay = static_cast<int>(nSeconds % 86400);
    int64_t nYear = 1601 + 400 * (nDays / 146097);
    nDays %= 146097;
    auto fnDaysInYear = [](int64_t y) {
        return (y % 4 == 0 && (y % 100 != 0 || y % 400 == 0)) ? 366 : 365;
    };
    while (nDays >= fnDaysInYear(nYear)) nDays -= fnDaysInYear(nYear++);
    static const int anMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int nMonth = 0;
    for (; nMonth < 12; ++nMonth) {
        const int nLength = anMonthDays[nMonth] + (nMonth == 1 && fnDaysInYear(nYear) == 366);
        if (nDays < nLength) break;
        nDays -= nLength;
    }
    return QStringLiteral("%1/%2/%3 %4:%5:%6")
        .arg(nYear, 4, 10, QLatin1Char('0'))
        .arg(nMonth + 1, 2, 10, QLatin1Char('0'))
        .arg(nDays + 1, 2, 10, QLatin1Char('0'))
        .arg(nSecondOfDay / 3600, 2, 10, QLatin1Char('0'))
        .arg(nSecondOfDay / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(nSecondOfDay % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace kestrel::CFormat
