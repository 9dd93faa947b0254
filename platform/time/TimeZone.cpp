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

std::int64_t StandardOffsetNow(const std::tm& now) {
  // January and July: one of them is winter in either hemisphere.
  const std::tm january = LocalFieldsOnFirstOf(now.tm_year, 0);
  const std::tm july = LocalFieldsOnFirstOf(now.tm_year, 6);
  const bool januaryDst = january.tm_isdst > 0;
  const bool julyDst = july.tm_isdst > 0;
  if (januaryDst != julyDst) return januaryDst ? july.tm_gmtoff : january.tm_gmtoff;
  if (now.tm_isdst <= 0) return now.tm_gmtoff;
  return std::min(january.tm_gmtoff, july.tm_gmtoff);
}

struct Offsets {
  std::int64_t current = 0;
  std::int64_t standard = 0;
};

// Asked for every date shown, so kept: they change only with TZ or at a transition, and
// transitions fall on quarter hours. The C library would look at /etc/localtime on every ask.
Offsets OffsetsNow() {
  struct Cached {
    std::optional<std::string> zone;  // TZ when set, compared without building a string
    std::time_t until = 0;
    Offsets offsets;
  };
  thread_local std::optional<Cached> cached;
  const char* tz = std::getenv("TZ");
  const std::time_t now = std::time(nullptr);
  if (cached && now < cached->until && (tz ? cached->zone == tz : !cached->zone)) return cached->offsets;
  // tzset makes a changed TZ take effect; localtime_r alone need not reread it.
  tzset();
  const std::tm fields = LocalFields(now);
  cached = Cached{tz ? std::optional<std::string>(tz) : std::nullopt, now - now % 900 + 900,
                  {fields.tm_gmtoff, StandardOffsetNow(fields)}};
  return cached->offsets;
}

}  // namespace

std::int64_t CurrentUtcOffsetSeconds() { return OffsetsNow().current; }

std::int64_t StandardUtcOffsetSeconds() { return OffsetsNow().standard; }

}  // namespace kestrel::time
