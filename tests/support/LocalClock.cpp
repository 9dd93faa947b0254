#include "tests/support/LocalClock.h"

#include <ctime>

namespace kestrel::test {

long UtcOffsetNow() {
  tzset();
  const std::time_t now = std::time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  return local.tm_gmtoff;
}

KernelTime InstantOf(const WallClock& local) {
  struct tm fields {};
  fields.tm_year = local.year - 1900;
  fields.tm_mon = local.month - 1;
  fields.tm_mday = local.day;
  fields.tm_hour = local.hour;
  fields.tm_min = local.minute;
  fields.tm_sec = local.second;
  return {timegm(&fields) - UtcOffsetNow(), 0};
}

WallClock WallClockOf(KernelTime instant) {
  const std::time_t shifted = instant.seconds + UtcOffsetNow();
  struct tm fields {};
  gmtime_r(&shifted, &fields);
  return {fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min, fields.tm_sec};
}

std::uint64_t FileTimeOf(KernelTime instant) {
  return static_cast<std::uint64_t>(instant.seconds + 11'644'473'600LL) * 10'000'000u + instant.nanoseconds / 100;
}

}  // namespace kestrel::test
