#include "app/PickerValues.h"

#include <stdexcept>

#include <QDateTime>

#include "platform/time/LocalDateTime.h"

namespace kestrel::app {
namespace {

time::LocalDateTime Encode(QDate date, QTime time) {
  const std::optional<time::LocalDateTime> value = time::EncodeLocalDateTime(
      {date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second(), time.msec()});
  if (!value) throw std::out_of_range("date outside years 1 to 9999");
  return *value;
}

}  // namespace

std::optional<PickerValue> ToPickerValue(time::LocalDateTime value) {
  const std::optional<time::CalendarTime> fields = time::DecodeLocalDateTime(value);
  if (!fields) return std::nullopt;
  return PickerValue{QDate(fields->year, fields->month, fields->day),
                     QTime(fields->hour, fields->minute, fields->second, fields->millisecond)};
}

time::LocalDateTime DateValue(QDate date) { return Encode(date, QTime(0, 0)); }

time::LocalDateTime TimeValue(QTime time) { return Encode(QDate(1899, 12, 30), time); }

time::LocalDateTime CurrentLocalDateTime() {
  const QDateTime now = QDateTime::currentDateTime();
  return Encode(now.date(), now.time());
}

}  // namespace kestrel::app
