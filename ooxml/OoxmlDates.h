#pragma once
// The dates of the core-properties part and the program's date-time text in local time. Stored
// dates are read in every W3CDTF form (a year, a month, a day, or a time with "Z" or an offset
// from UTC, seconds and fractions optional) and written as UTC to the second
// (2009-05-12T03:04:05Z). Both directions use the zone's standard offset, without daylight
// saving, whatever the date. Nothing here throws.

#include <optional>
#include <string>
#include <string_view>

#include "platform/time/FileTime.h"

namespace kestrel::ooxml {

// An ISO 8601 date-time as written: its fields and, when it names one, its offset from UTC.
struct WrittenDateTime {
  time::LocalDateTime written = 0;   // the fields as written, fractions of a second dropped
  bool hasTime = false;              // false for a year, a month or a day alone
  std::optional<int> offsetMinutes;  // "Z" is 0; nullopt when no zone is written
};

// Reads a year, a month, a day, or a day and a time (seconds and fractions optional) with or
// without "Z" or an offset; blanks around it are ignored. nullopt for any other text or a field
// out of range (hour 24, second 60, an offset beyond 14 hours).
std::optional<WrittenDateTime> ParseWrittenDateTime(std::string_view stored);

// The UTC instant a W3CDTF text means, fractions of a second dropped; blanks around it are
// ignored. A date without a time (2009-05-12, 2009-05, 2009) means midnight UTC at its start,
// since the part keeps its dates in UTC. nullopt for any other text, a field out of range (hour
// 24, second 60, an offset beyond 14 hours) or an instant outside years 1 to 9999.
std::optional<time::LocalDateTime> ParseW3cdtf(std::string_view stored);

// The local date-time text of a stored date; empty when ParseW3cdtf refuses it.
std::string UtcIsoToLocalText(std::string_view stored);

// Empty text when the text is not a date-time text.
std::string LocalTextToUtcIso(std::string_view text);

}  // namespace kestrel::ooxml
