#include "DosTime.h"

#include <ctime>

namespace kestrel::archiver {

void UnixToLocalDos(int64_t t, uint16_t* pnDate, uint16_t* pnTime) {
    // localtime_r reads the zone once per process (unlike localtime and mktime, which look at
    // /etc/localtime again on every call while TZ is unset), so listing stays cheap either way.
    struct tm tm {};
    time_t tt = static_cast<time_t>(t);
    if (!localtime_r(&tt, &tm) || tm.tm_year < 80) {
        *pnDate = (1 << 5) | 1;
        *pnTime = 0;
        return;
    }
    if (tm.tm_year > 207) {
        *pnDate = (127 << 9) | (12 << 5) | 31;
        *pnTime = (23 << 11) | (59 << 5) | 29;
        return;
    }
    *pnDate = static_cast<uint16_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
    *pnTime = static_cast<uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
}

int64_t LocalDosToUnix(uint16_t c_nDate, uint16_t c_nTime) {
    struct tm tm {};
    tm.tm_year = (c_nDate >> 9) + 80;
    tm.tm_mon = ((c_nDate >> 5) & 0x0F) - 1;
    tm.tm_mday = c_nDate & 0x1F;
    tm.tm_hour = c_nTime >> 11;
    tm.tm_min = (c_nTime >> 5) & 0x3F;
    tm.tm_sec = (c_nTime & 0x1F) * 2;
    tm.tm_isdst = -1;
    time_t t = mktime(&tm);
    return t == static_cast<time_t>(-1) ? 0 : static_cast<int64_t>(t);
}

int64_t FileTimeToUnix(uint64_t c_nFileTime) {
    return static_cast<int64_t>(c_nFileTime / 10000000ULL) - 11644473600LL;
}

}  // namespace kestrel::archiver
