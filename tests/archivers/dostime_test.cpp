// Local DOS times from instants, against the C library's own conversion in zones with and
// without daylight saving (the conversion keeps each day's offset and must notice changes).
#include "DosTime.h"

#include <gtest/gtest.h>

#include <ctime>

#include "ArchiverPlugin.h"

using kestrel::archiver::UnixToLocalDos;

namespace {

void Reference(int64_t t, uint16_t* pnDate, uint16_t* pnTime) {
    struct tm tm {};
    const auto tt = static_cast<time_t>(t);
    ASSERT_NE(localtime_r(&tt, &tm), nullptr);
    if (tm.tm_year < 80) {
        *pnDate = (1 << 5) | 1;
        *pnTime = 0;
    } else if (tm.tm_year > 207) {
        *pnDate = (127 << 9) | (12 << 5) | 31;
        *pnTime = (23 << 11) | (59 << 5) | 29;
    } else {
        *pnDate =
            static_cast<uint16_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
        *pnTime = static_cast<uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
    }
}

}  // namespace

TEST(DosTime, MatchesTheZoneEverywhere) {
    // Half-hour daylight saving, a southern zone, a northern one, none, and the clamps.
    for (const char* pszZone :
         {"Australia/Lord_Howe", "America/Sao_Paulo", "Europe/Berlin", "Asia/Tokyo", "UTC"}) {
        kestrel_test::ZoneScope zone(pszZone);
        kestrel::archiver::ForgetLocalZone();  // as opening an archive does
        int nMismatch = 0;
        // 1975 to 2110 in steps that fall at every time of day; every instant near the
        // Berlin changes of 2024 (31 March, 27 October) minute by minute.
        for (int64_t t = 157766400; t < 4417977600LL && nMismatch < 5; t += 86400 * 3 + 3607) {
            uint16_t nDate, nTime, nRefDate, nRefTime;
            UnixToLocalDos(t, &nDate, &nTime);
            Reference(t, &nRefDate, &nRefTime);
            if (nDate != nRefDate || nTime != nRefTime) {
                ADD_FAILURE() << pszZone << " t=" << t;
                ++nMismatch;
            }
        }
        for (int64_t t : {1711846800LL - 7200, 1729990800LL - 7200}) {
            for (int64_t d = 0; d < 4 * 3600 && nMismatch < 5; d += 60) {
                uint16_t nDate, nTime, nRefDate, nRefTime;
                UnixToLocalDos(t + d, &nDate, &nTime);
                Reference(t + d, &nRefDate, &nRefTime);
                if (nDate != nRefDate || nTime != nRefTime) {
                    ADD_FAILURE() << pszZone << " t=" << t + d;
                    ++nMismatch;
                }
            }
        }
    }
}
