// Number and date texts as the file list and the status bar show them: digits grouped as the
// Japanese locale groups them, dates without any time-zone shift.
#pragma once

#include <QString>
#include <cstdint>

#include "NArchive.h"

namespace kestrel::CFormat {

QString Number(int64_t llValue);                // 1,234,567
QString Decimal(double dValue, int nDecimals);  // 1,234.5 (nan and inf as the locale spells them)
QString Ratio(double dRatio);                   // 0.4567 → 45.7%
// "yyyy/MM/dd HH:mm:ss", or "??\?? ??:??:??" for an unknown time (high half 0xFFFFFFFF).
QString FileTime(const shelf::NArchive::FILETIME& c_ftTime);

}  // namespace kestrel::CFormat
