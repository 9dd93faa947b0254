#include "worddoc/PropertyText.h"

#include <cstdio>
#include <new>
#include <optional>

#include "platform/storage/CompoundFile.h"
#include "platform/storage/PropertySetStorage.h"
#include "platform/text/DecimalText.h"
#include "platform/time/DateTimeText.h"
#include "platform/time/LocalDateTime.h"

namespace kestrel::worddoc {

namespace {

using storage::PropertyValue;

constexpr std::int64_t kUnitsPerMinute = 600'000'000;

// General format with up to 15 significant digits; the exponent without "+" or leading zeros.
std::string FormatReal(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15G", value);
  std::string text = buffer;
  const auto e = text.find('E');
  if (e == std::string::npos || e + 1 >= text.size()) return text;
  std::string exponent = text.substr(e + 1);
  const bool negative = exponent.front() == '-';
  exponent.erase(0, exponent.find_first_not_of("+-0"));
  return text.substr(0, e + 1) + (negative ? "-" : "") + (exponent.empty() ? "0" : exponent);
}

std::string FormatFileTime(std::int64_t bits) {
  const auto local = time::FileTimeToLocalDateTime(static_cast<time::FileTime>(bits));
  return local ? time::FormatDateTimeText(*local) : std::string();
}

Outcome ConversionFailure(const std::string& text, const char* what) {
  return Outcome::Failure(FailureKind::InvalidValue, "'" + text + "' " + what);
}

Result<PropertyValue> FileTimeValue(const std::string& text, FileTimeStyle style) {
  PropertyValue value;
  if (text.empty()) {
    value.type = storage::kVtNull;
    return value;
  }
  value.type = storage::kVtFiletime;
  if (style == FileTimeStyle::Minutes) {
    value.integer = static_cast<std::int64_t>(text::ParseInt32(text).value_or(0)) * kUnitsPerMinute;
    return value;
  }
  const auto local = time::ParseDateTimeText(text);
  const auto fileTime = local ? time::LocalDateTimeToFileTime(*local) : std::nullopt;
  if (!fileTime) return ConversionFailure(text, "is not a valid date and time");
  value.integer = static_cast<std::int64_t>(*fileTime);
  return value;
}

}  // namespace

storage::Guid FmtidOf(catalogue::PropertySetKind kind) {
  switch (kind) {
    case catalogue::PropertySetKind::SummaryInformation:
      return storage::kFmtidSummaryInformation;
    case catalogue::PropertySetKind::DocumentSummaryInformation:
      return storage::kFmtidDocSummaryInformation;
    case catalogue::PropertySetKind::MediaFileSummaryInformation:
      break;
  }
  return storage::kFmtidMediaFileSummaryInformation;
}

std::string FormatPropertyValue(const PropertyValue& value) {
  const std::int64_t n = value.integer;
  switch (value.type) {
    case storage::kVtI2:
      return std::to_string(static_cast<std::int16_t>(n));
    case storage::kVtI4:
    case storage::kVtInt:
      return std::to_string(static_cast<std::int32_t>(n));
    case storage::kVtR4:
    case storage::kVtR8:
      return FormatReal(value.real);
    case storage::kVtBstr:
    case storage::kVtLpwstr:
    case storage::kVtLpstr:
      return value.text;
    case storage::kVtError:
      return "Error code: " + std::to_string(static_cast<std::int32_t>(n));
    case storage::kVtBool:
      return static_cast<std::int16_t>(n) != 0 ? "Yes" : "No";
    case storage::kVtUi1:
      return std::to_string(static_cast<std::uint8_t>(n));
    case storage::kVtUi2:
      return std::to_string(static_cast<std::uint16_t>(n));
    case storage::kVtUi4:
    case storage::kVtUint:
      return std::to_string(static_cast<std::uint32_t>(n));
    case storage::kVtI8:
    case storage::kVtUi8:
      return std::to_string(n);
    case storage::kVtFiletime:
      return FormatFileTime(n);
    case storage::kVtClsid:
      return value.guid ? value.guid->ToString() : std::string();
    default:
      return {};
  }
}

std::string EditingMinutesText(const PropertyValue& value) {
  if (value.type != storage::kVtFiletime) return {};
  return std::to_string(static_cast<std::uint64_t>(value.integer) / static_cast<std::uint64_t>(kUnitsPerMinute));
}

std::string PropertyTextOf(const storage::PropertySetStream& set, const storage::Guid& fmtid, std::uint32_t pid) {
  const auto value = set.Read(fmtid, pid);
  return value ? FormatPropertyValue(*value) : std::string();
}

std::string ReadPropertyText(const std::string& path, const storage::Guid& fmtid, std::uint32_t pid) {
  try {
    const auto file = storage::CompoundFile::Open(path, fs::OpenMode::Read);
    if (!file) return {};
    const auto set = storage::ReadPropertySet(**file, fmtid);
    return set && *set ? PropertyTextOf(**set, fmtid, pid) : std::string();
  } catch (const std::bad_alloc&) {
    return {};  // shown as a value that cannot be read
  }
}

Result<PropertyValue> PropertyValueFromText(std::int32_t vartype, const std::string& text, FileTimeStyle style) {
  PropertyValue value;
  switch (vartype) {
    case storage::kVtLpstr:
    case storage::kVtLpwstr:
      value.type = static_cast<std::uint16_t>(vartype);
      value.text = text;
      return value;
    case storage::kVtInt: {
      const auto number = text::ParseInt32(text);
      if (!number) return ConversionFailure(text, "is not a valid integer value");
      value.type = storage::kVtInt;
      value.integer = *number;
      return value;
    }
    case storage::kVtFiletime:
      return FileTimeValue(text, style);
    default:
      return Outcome::Failure(FailureKind::Unsupported, "values of type " + std::to_string(vartype) + " are not written");
  }
}

}  // namespace kestrel::worddoc
