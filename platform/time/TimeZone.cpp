#include "platform/time/TimeZone.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace kestrel::time {
namespace {

std::tm LocalFields(std::time_t when) {
  std::tm fields{};
  localtime_r(&when, &fields);
  return fields;
}

// Local noon on the first of a month of the given tm_year.
std::tm LocalFieldsOnFirstOf(int tmYear, int tmMonth) {
  std::tm noon{};
  noon.tm_year = tmYear;
  noon.tm_mon = tmMonth;
  noon.tm_mday = 1;
  noon.tm_hour = 12;
  noon.tm_isdst = -1;
  return LocalFields(std::mktime(&noon));
}

}  // namespace

std::int64_t CurrentUtcOffsetSeconds() {
  // Asked for every date shown, so kept: it changes only with TZ or at a transition, and
  // transitions fall on quarter hours.
  struct Cached {
    std::optional<std::string> zone;  // TZ when set, compared without building a string
    std::time_t until = 0;
    std::int64_t offset = 0;
  };
  thread_local std::optional<Cached> cached;
  const char* tz = std::getenv("TZ");
  const std::time_t now = std::time(nullptr);
  if (cached && now < cached->until && (tz ? cached->zone == tz : !cached->zone)) return cached->offset;
  // tzset makes a changed TZ take effect; localtime_r alone need not reread it.
  tzset();
  cached = Cached{tz ? std::optional<std::string>(tz) : std::nullopt, now - now % 900 + 900, LocalFields(now).tm_gmtoff};
  return cached->offset;
}

std::int64_t StandardUtcOffsetSeconds() {
  tzset();
  const std::tm now = LocalFields(std::time(nullptr));
  // January and July: one of them is winter in either hemisphere.
  const std::tm january = LocalFieldsOnFirstOf(now.tm_year, 0);
  const std::tm july = LocalFieldsOnFirstOf(now.tm_year, 6);
  const bool januaryDst = january.tm_isdst > 0;
  const bool julyDst = july.tm_isdst > 0;
  if (januaryDst != julyDst) return januaryDst ? july.tm_gmtoff : january.tm_gmtoff;
  if (now.tm_isdst <= 0) return now.tm_gmtoff;
  return std::min(january.tm_gmtoff, july.tm_gmtoff);
}

}  // namespace kestrel::time
