#pragma once
// Expected instants worked out with the C library alone: local wall-clock times turned into UTC
// with the UTC offset in force now, which is how the program converts in both directions.

#include <cstdint>

#include "tests/support/FileSnapshot.h"

namespace kestrel::test {

struct WallClock {
  int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  bool operator==(const WallClock&) const = default;
};

// Seconds east of UTC in the TZ in force now.
long UtcOffsetNow();
KernelTime InstantOf(const WallClock& local);
// The wall clock of an instant (the seconds below one dropped).
WallClock WallClockOf(KernelTime instant);
// UTC 100 ns units since 1601.
std::uint64_t FileTimeOf(KernelTime instant);

}  // namespace kestrel::test
