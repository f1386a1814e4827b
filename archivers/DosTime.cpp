#include "DosTime.h"

#include <climits>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace kestrel::archiver {

namespace {

void StoreDos(const struct tm& tm, uint16_t* pnDate, uint16_t* pnTime) {
    if (tm.tm_year < 80) {
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

// The zone's offset from UTC through one whole UTC day, when it does not change that day.
struct DAY_OFFSET {
    int64_t llDay = INT64_MIN;
    bool bSteady = false;
    long nOffset = 0;
};

// Days since 1970-01-01 to a civil date (proleptic Gregorian). The plug-ins keep this inline
// form, measured when it replaced localtime_r per entry; the engine's dates use <chrono>.
void CivilFromDays(int64_t z, struct tm* ptm) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    ptm->tm_year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2) - 1900);
    ptm->tm_mon = static_cast<int>(m) - 1;
    ptm->tm_mday = static_cast<int>(d);
}

// Eleven years of days: an archive's dates rarely spread wider.
constexpr size_t kSlots = 4096;

std::vector<DAY_OFFSET>& DayCache() {
    thread_local std::vector<DAY_OFFSET> s_vCache;
    return s_vCache;
}

}  // namespace

void ForgetLocalZone() {
    DayCache().clear();
}

void UnixToLocalDos(int64_t t, uint16_t* pnDate, uint16_t* pnTime) {
    // localtime_r costs more than the rest of listing an entry: the zone's offset is looked up
    // once per UTC day, and the fields are computed from it. A day on which the offset changes
    // goes through localtime_r every time.
    std::vector<DAY_OFFSET>& vCache = DayCache();
    if (vCache.empty()) vCache.resize(kSlots);
    const int64_t llDay = t >= 0 ? t / 86400 : (t - 86399) / 86400;
    DAY_OFFSET& st = vCache[static_cast<uint64_t>(llDay) % kSlots];
    struct tm tm {};
    if (st.llDay != llDay) {
        st.llDay = llDay;
        st.bSteady = false;
        struct tm tmStart {
        }, tmEnd{};
        const auto tStart = static_cast<time_t>(llDay * 86400);
        const auto tEnd = static_cast<time_t>(llDay * 86400 + 86399);
        if (localtime_r(&tStart, &tmStart) && localtime_r(&tEnd, &tmEnd) &&
            tmStart.tm_gmtoff == tmEnd.tm_gmtoff) {
            st.bSteady = true;
            st.nOffset = tmStart.tm_gmtoff;
        }
    }
    if (!st.bSteady) {
        time_t tt = static_cast<time_t>(t);
        if (!localtime_r(&tt, &tm)) tm.tm_year = 0;
        StoreDos(tm, pnDate, pnTime);
        return;
    }
    const int64_t llLocal = t + st.nOffset;
    const int64_t llLocalDay = llLocal >= 0 ? llLocal / 86400 : (llLocal - 86399) / 86400;
    const auto nSecond = static_cast<int>(llLocal - llLocalDay * 86400);
    CivilFromDays(llLocalDay, &tm);
    tm.tm_hour = nSecond / 3600;
    tm.tm_min = nSecond / 60 % 60;
    tm.tm_sec = nSecond % 60;
    StoreDos(tm, pnDate, pnTime);
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
