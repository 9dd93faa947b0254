#pragma once
// One document property of a binary Word document at a time, as the text the user sees.
// Every call opens the file, does its one read or write and closes it again.

#include <cstdint>
#include <stdexcept>
#include <string>

#include "catalogue/PropertyCatalogue.h"
#include "platform/storage/Guid.h"
#include "platform/storage/PropertySetStream.h"

namespace kestrel::doc {

// How a text becomes a VT_FILETIME value.
enum class FileTimeStyle {
  DateTime,  // a point in time, given as date-time text in local time
  Minutes,   // a duration, given as whole minutes
};

// A text that cannot become the value asked for. The message is the one the user sees.
class ConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The FMTID of a catalogue row's property set.
storage::Guid FmtidOf(catalogue::PropertySetKind kind);

// The display text of one typed value; empty for types that have no text form.
std::string FormatPropertyValue(const storage::PropertyValue& value);

// The display text of one property of a parsed set; empty when it is absent.
std::string PropertyTextOf(const storage::PropertySetStream& set, const storage::Guid& fmtid,
                           std::uint32_t pid);

// Empty text whenever the property cannot be read (missing or locked file, no compound file,
// set or property absent). Never throws.
std::string ReadPropertyText(const std::string& path, const storage::Guid& fmtid, std::uint32_t pid);

// Writes one property from text as VT_LPSTR, VT_LPWSTR, VT_INT or VT_FILETIME (an empty text
// gives VT_NULL). The set is created when missing. True when the value is in the file.
// Throws ConversionError, before the file is opened, for a date-time or integer text that does
// not parse.
bool WritePropertyText(const std::string& path, const storage::Guid& fmtid, std::uint32_t pid,
                       std::int32_t vartype, const std::string& text, FileTimeStyle style);

}  // namespace kestrel::doc
