#pragma once
// The local time zone, taken from the TZ database through the C library (TZ is honoured).
// Nothing here throws.

#include <cstdint>

namespace kestrel::time {

// Seconds to add to UTC to get local time, as in force at this moment (daylight saving included).
std::int64_t CurrentUtcOffsetSeconds();

// Seconds to add to UTC to get the zone's standard (non-daylight-saving) local time.
std::int64_t StandardUtcOffsetSeconds();

}  // namespace kestrel::time
