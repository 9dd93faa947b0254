#pragma once
// Local date-times in the date and time pickers: a date picker holds the date part of a value,
// a time picker its time of day.

#include <optional>

#include <QDate>
#include <QTime>

#include "platform/time/FileTime.h"

namespace kestrel::app {

struct PickerValue {
  QDate date;
  QTime time;  // to the millisecond
};

// nullopt outside years 1 to 9999.
std::optional<PickerValue> ToPickerValue(time::LocalDateTime value);

// The date at midnight; the time of day on 1899-12-30. Pickers hold only valid dates and times.
time::LocalDateTime DateValue(QDate date);
time::LocalDateTime TimeValue(QTime time);

// The local date and time now.
time::LocalDateTime CurrentLocalDateTime();

}  // namespace kestrel::app
