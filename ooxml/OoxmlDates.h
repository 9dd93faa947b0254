#pragma once
// The dates of the core-properties part (W3CDTF in UTC, 2009-05-12T03:04:05Z) and the program's
// date-time text in local time. Both directions use the zone's standard offset, without daylight
// saving, whatever the date.

#include <string>
#include <string_view>

namespace kestrel::ooxml {

// Empty text when the stored text has no "Z" and "T", or its fields make no valid date.
std::string UtcIsoToLocalText(std::string_view stored);

// Empty text when the text is not a date-time text.
std::string LocalTextToUtcIso(std::string_view text);

}  // namespace kestrel::ooxml
