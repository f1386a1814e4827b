// DOS date and time fields, as the records carry them.
#pragma once

#include <cstdint>

namespace kestrel::archiver {

// The instant t (seconds since the epoch) in the local time zone. Times outside what DOS
// fields can hold are clamped to 1980-01-01 00:00:00 or 2107-12-31 23:59:58.
void UnixToLocalDos(int64_t t, uint16_t* pnDate, uint16_t* pnTime);
// UnixToLocalDos keeps each day's offset from UTC for this thread: call this when the zone
// may have changed (every archive opened calls it).
void ForgetLocalZone();

// Stored local DOS fields as an instant, for the extracted file's time.
int64_t LocalDosToUnix(uint16_t c_nDate, uint16_t c_nTime);

// Windows FILETIME (100 ns since 1601) to seconds since the epoch.
int64_t FileTimeToUnix(uint64_t c_nFileTime);

}  // namespace kestrel::archiver
