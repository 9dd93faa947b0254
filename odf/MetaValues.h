#pragma once
// The values of meta.xml as the rows show them and as they are stored: dates (with or without a
// zone; without one they are local time), the editing duration (an ISO 8601 duration shown in
// whole minutes) and counts. Nothing here throws except std::bad_alloc.

#include <optional>
#include <string>
#include <string_view>

#include "platform/time/FileTime.h"

namespace kestrel::odf {

// The date-time text of a stored date: as written when it names no zone, else moved from its
// offset to local time by the zone's standard offset, as package dates are. Empty when it is no
// date.
std::string StoredDateText(std::string_view stored);

// The stored form ("2024-03-01T09:30:00", local time, no zone) of date-time text; nullopt when the
// text is not date-time text.
std::optional<std::string> DateTextToStored(std::string_view text);

// A stored date as a UTC file time, to the second (a date without a zone is local time, converted
// with the offset in force now, as custom dates are); nullopt when it is no date or lies before 1601.
std::optional<time::FileTime> StoredDateToFileTime(std::string_view stored);
// The stored form of a UTC file time, in local time without a zone; empty when it cannot be shown.
std::string FileTimeToStoredDate(time::FileTime utc);

// The whole minutes of an ISO 8601 duration ("PT1H30M" -> 90, "P1DT2M5S" -> 1442); nullopt for
// any other text, and for years and months, whose length is not fixed.
std::optional<long long> DurationMinutes(std::string_view stored);
// "PT1H30M" for 90.
std::string MinutesToDuration(long long minutes);

// A non-negative whole number in decimal digits, blanks around it ignored; nullopt for anything
// else or one beyond 18 digits.
std::optional<long long> CountOf(std::string_view text);

}  // namespace kestrel::odf
