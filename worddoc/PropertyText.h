#pragma once
// Document properties of a binary Word document as the text the user sees, and the typed values
// texts become.
// Nothing here throws except std::bad_alloc.

#include <cstdint>
#include <string>

#include "catalogue/PropertyCatalogue.h"
#include "platform/Outcome.h"
#include "platform/storage/Guid.h"
#include "platform/storage/PropertySetStream.h"

namespace kestrel::worddoc {

// How a text becomes a VT_FILETIME value.
enum class FileTimeStyle {
  DateTime,  // a point in time, given as date-time text in local time
  Minutes,   // a duration, given as whole minutes
};

// The FMTID of a catalogue row's property set.
storage::Guid FmtidOf(catalogue::PropertySetKind kind);

// The display text of one typed value; empty for types that have no text form.
std::string FormatPropertyValue(const storage::PropertyValue& value);

// Whole minutes of an editing time kept as a VT_FILETIME duration (PIDSI_EDITTIME), its count of
// 100 ns read unsigned and the rest of a minute dropped; empty for a value of another type.
std::string EditingMinutesText(const storage::PropertyValue& value);

// The display text of one property of a parsed set; empty when it is absent.
std::string PropertyTextOf(const storage::PropertySetStream& set, const storage::Guid& fmtid,
                           std::uint32_t pid);

// Empty text whenever the property cannot be read (missing or locked file, no compound file,
// set or property absent). Never throws.
std::string ReadPropertyText(const std::string& path, const storage::Guid& fmtid, std::uint32_t pid);

// The typed value a text becomes: VT_LPSTR, VT_LPWSTR, VT_INT or VT_FILETIME (an empty text gives
// VT_NULL; style Minutes reads whole minutes, 0 when not a number). InvalidValue, with the exact
// conversion message ("'%s' is not a valid date and time", "... integer value"), for a text that
// does not parse; Unsupported for another type. Never throws.
Result<storage::PropertyValue> PropertyValueFromText(std::int32_t vartype, const std::string& text,
                                                     FileTimeStyle style);

}  // namespace kestrel::worddoc
