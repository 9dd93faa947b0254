#pragma once
// Times as the rest of the program sees them: UTC file times and local date-times.
// Nothing here throws.

#include <cstdint>

namespace kestrel::time {

// UTC, 100-nanosecond units since 1601-01-01 00:00 (the Windows form).
using FileTime = std::uint64_t;

// A local date and time as days since 1899-12-30 00:00. The whole part is the date; the
// fraction is the time of day. Before 1899-12-30 the value is (date - time of day), so the
// fraction still counts forward from midnight: -1.25 is 1899-12-29 06:00.
using LocalDateTime = double;

inline constexpr std::int64_t kFileTimeUnitsPerSecond = 10'000'000;
// Seconds from 1601-01-01 to 1970-01-01.
inline constexpr std::int64_t kFileTimeUnixEpochSeconds = 11'644'473'600;

}  // namespace kestrel::time
