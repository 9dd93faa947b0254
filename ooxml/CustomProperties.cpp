#include "ooxml/CustomProperties.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>

#include "ooxml/OoxmlDates.h"
#include "platform/time/LocalDateTime.h"

namespace kestrel::ooxml {

namespace {

using catalogue::CustomType;
using catalogue::CustomValue;
using catalogue::OtherProperty;

constexpr std::string_view kCustomNamespace = "http://schemas.openxmlformats.org/officeDocument/2006/custom-properties";
constexpr std::string_view kStrictCustomNamespace = "http://purl.oclc.org/ooxml/officeDocument/customProperties";
constexpr std::string_view kTypesNamespace = "http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes";
constexpr std::string_view kStrictTypesNamespace = "http://purl.oclc.org/ooxml/officeDocument/docPropsVTypes";
// Every property Office writes into the part carries this format id.
constexpr std::string_view kUserDefinedFormatId = "{D5CDD505-2E9C-101B-9397-08002B2CF9AE}";
constexpr int kFirstUserPid = 2;  // 0 and 1 are reserved in property sets
constexpr std::size_t kShownValueBytes = 200;

constexpr std::array<std::string_view, 3> kTextTypes = {"lpwstr", "lpstr", "bstr"};
constexpr std::array<std::string_view, 10> kIntegerTypes = {"i1", "i2", "i4", "i8", "int", "ui1", "ui2", "ui4", "ui8", "uint"};
constexpr std::array<std::string_view, 3> kRealTypes = {"r4", "r8", "decimal"};
constexpr std::array<std::string_view, 2> kDateTypes = {"filetime", "date"};
constexpr std::array<std::string_view, 4> kBinaryTypes = {"blob", "oblob", "cf", "stream"};

constexpr std::int64_t kSecondsPerDay = 86400;

template <std::size_t N>
bool IsOneOf(std::string_view name, const std::array<std::string_view, N>& names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

time::CalendarTime CivilFromDays(std::int64_t days) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  time::CalendarTime fields;
  fields.day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  fields.month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  fields.year = static_cast<int>(yearOfEra + era * 400 + (fields.month <= 2 ? 1 : 0));
  return fields;
}

// A stored W3CDTF instant as a file time, to the second; nullopt before 1601.
std::optional<time::FileTime> StoredInstant(std::string_view stored) {
  const std::optional<time::LocalDateTime> utc = ParseW3cdtf(stored);
  const std::optional<time::CalendarTime> fields = utc ? time::DecodeLocalDateTime(*utc) : std::nullopt;
  if (!fields) return std::nullopt;
  const std::int64_t seconds = DaysFromCivil(fields->year, fields->month, fields->day) * kSecondsPerDay +
                               fields->hour * 3600 + fields->minute * 60 + fields->second +
                               time::kFileTimeUnixEpochSeconds;
  if (seconds < 0) return std::nullopt;
  return static_cast<time::FileTime>(seconds) * time::kFileTimeUnitsPerSecond;
}

std::string TwoDigits(int value) { return std::string(1, static_cast<char>('0' + value / 10)) + static_cast<char>('0' + value % 10); }

// "YYYY-MM-DDThh:mm:ssZ" of a file time.
std::string InstantText(time::FileTime utc) {
  const std::int64_t seconds = static_cast<std::int64_t>(utc / time::kFileTimeUnitsPerSecond) - time::kFileTimeUnixEpochSeconds;
  const std::int64_t days = (seconds >= 0 ? seconds : seconds - (kSecondsPerDay - 1)) / kSecondsPerDay;
  const std::int64_t ofDay = seconds - days * kSecondsPerDay;
  const time::CalendarTime date = CivilFromDays(days);
  std::string year = std::to_string(date.year);
  year.insert(0, year.size() < 4 ? 4 - year.size() : 0, '0');
  return year + "-" + TwoDigits(date.month) + "-" + TwoDigits(date.day) + "T" + TwoDigits(static_cast<int>(ofDay / 3600)) +
         ":" + TwoDigits(static_cast<int>(ofDay / 60 % 60)) + ":" + TwoDigits(static_cast<int>(ofDay % 60)) + "Z";
}

CustomValue NumberValue(double number, bool integral) {
  CustomValue value;
  value.type = CustomType::Number;
  value.number = number;
  const bool fits = integral && number >= -2147483648.0 && number <= 2147483647.0;
  if (fits) value.whole = static_cast<std::int32_t>(number);
  return value;
}

std::optional<CustomValue> IntegerValue(std::string_view text) {
  const char* end = text.data() + text.size();
  std::int64_t signedValue = 0;
  if (const auto [stop, error] = std::from_chars(text.data(), end, signedValue); error == std::errc() && stop == end) {
    return NumberValue(static_cast<double>(signedValue), true);
  }
  std::uint64_t unsignedValue = 0;
  if (const auto [stop, error] = std::from_chars(text.data(), end, unsignedValue); error == std::errc() && stop == end) {
    return NumberValue(static_cast<double>(unsignedValue), true);
  }
  return std::nullopt;
}

std::optional<CustomValue> RealValue(std::string_view text) {
  double number = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, number);
  const bool isNumber = !text.empty() && error == std::errc() && stop == end && std::isfinite(number);
  if (!isNumber) return std::nullopt;
  return NumberValue(number, false);
}

// The stored value as its catalogue type; nullopt for a type the catalogue does not edit or a
// text its type cannot read.
std::optional<CustomValue> EditableValue(std::string_view type, const std::string& text) {
  CustomValue value;
  if (IsOneOf(type, kTextTypes)) {
    value.text = text;
    return value;
  }
  if (IsOneOf(type, kIntegerTypes)) return IntegerValue(Trimmed(text));
  if (IsOneOf(type, kRealTypes)) return RealValue(Trimmed(text));
  if (IsOneOf(type, kDateTypes)) {
    const std::optional<time::FileTime> utc = StoredInstant(text);
    if (!utc) return std::nullopt;
    value.type = CustomType::Date;
    value.utc = *utc;
    return value;
  }
  if (type == "bool") {
    const std::string_view flag = Trimmed(text);
    if (flag != "true" && flag != "1" && flag != "false" && flag != "0") return std::nullopt;
    value.type = CustomType::YesNo;
    value.yes = flag == "true" || flag == "1";
    return value;
  }
  return std::nullopt;
}

// The type element and text a value is stored as.
std::pair<std::string_view, std::string> StoredForm(const CustomValue& value) {
  switch (value.type) {
    case CustomType::Number: return {value.whole ? "i4" : "r8", catalogue::StoredNumberText(value)};
    case CustomType::Date: return {"filetime", InstantText(value.utc)};
    case CustomType::YesNo: return {"bool", value.yes ? "true" : "false"};
    case CustomType::Text: break;
  }
  return {"lpwstr", value.text};
}

std::optional<xml::XmlNode> FirstElement(const xml::XmlNode& node) {
  for (const xml::XmlNode& child : node.Children()) {
    if (child.Kind() == xml::XmlNodeKind::Element) return child;
  }
  return std::nullopt;
}

// Texts of the leaf elements under `node`, in document order; `only` keeps those of these names.
void CollectTexts(const xml::XmlNode& node, bool onlyTextTypes, std::vector<std::string>& texts) {
  for (const xml::XmlNode& child : node.Children()) {
    if (child.Kind() != xml::XmlNodeKind::Element) continue;
    if (!FirstElement(child)) {
      const Result<std::string> text = child.Text();
      if (text && (!onlyTextTypes || IsOneOf(child.LocalName(), kTextTypes))) texts.push_back(*text);
    } else {
      CollectTexts(child, onlyTextTypes, texts);
    }
  }
}

std::string Shortened(std::string text) {
  if (text.size() <= kShownValueBytes) return text;
  std::size_t cut = kShownValueBytes;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // not inside a character
  text.resize(cut);
  return text + "…";
}

OtherProperty CustomPropertyOf(const xml::XmlNode& property) {
  OtherProperty shown;
  shown.custom = true;
  shown.name = property.Attribute("name").value_or("");
  const std::optional<xml::XmlNode> stored = FirstElement(property);
  if (!stored) {
    shown.otherType = "empty";
    return shown;
  }
  const Result<std::string> text = stored->Text();
  const std::optional<CustomValue> value = text ? EditableValue(stored->LocalName(), *text) : std::nullopt;
  if (value) {
    shown.type = value->type;
    shown.value = catalogue::CustomValueText(*value);
  } else {
    shown.otherType = "vt:" + stored->LocalName();
    shown.value = ReadableValue(*stored);
  }
  return shown;
}

bool IsProperty(const xml::XmlNode& node, std::string_view partNamespace) {
  return node.Kind() == xml::XmlNodeKind::Element && node.LocalName() == "property" && node.NamespaceUri() == partNamespace;
}

// The namespace of the loaded part's properties; Unsupported for another document element.
Result<std::string> CustomNamespace(const xml::XmlDocument& part) {
  const xml::XmlNode root = part.DocumentElement();
  const std::string found = root.NamespaceUri();
  if (root.LocalName() != "Properties" || (found != kCustomNamespace && found != kStrictCustomNamespace)) {
    return Outcome::Failure(FailureKind::Unsupported, "the document element is " + root.Name() + " in namespace '" +
                                                          found + "', not Properties");
  }
  return found;
}

std::vector<xml::XmlNode> PropertiesOf(const xml::XmlDocument& part, std::string_view partNamespace) {
  std::vector<xml::XmlNode> properties;
  for (const xml::XmlNode& child : part.DocumentElement().Children()) {
    if (IsProperty(child, partNamespace)) properties.push_back(child);
  }
  return properties;
}

int NextPid(const std::vector<xml::XmlNode>& properties) {
  int next = kFirstUserPid;
  for (const xml::XmlNode& property : properties) {
    const std::string pid = property.Attribute("pid").value_or("");
    int value = 0;
    const auto [stop, error] = std::from_chars(pid.data(), pid.data() + pid.size(), value);
    if (error == std::errc() && stop == pid.data() + pid.size() && value < 0x7FFFFFFF) next = std::max(next, value + 1);
  }
  return next;
}

Outcome StoreValue(xml::XmlDocument& part, xml::XmlNode property, std::string_view typesNamespace, const CustomValue& value) {
  const Result<std::string> prefix = part.BindPrefix(typesNamespace, "vt");
  if (!prefix) return prefix.outcome();
  const auto [type, text] = StoredForm(value);
  Result<xml::XmlNode> stored = property.AppendElement(*prefix + ":" + std::string(type));
  if (!stored) return stored.outcome();
  return stored->SetText(text);
}

}  // namespace

std::string EmptyCustomPart(bool strict) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<Properties xmlns=\"" +
         std::string(strict ? kStrictCustomNamespace : kCustomNamespace) + "\" xmlns:vt=\"" +
         std::string(strict ? kStrictTypesNamespace : kTypesNamespace) + "\"></Properties>";
}

Result<std::vector<OtherProperty>> ReadCustomProperties(const xml::XmlDocument& part) {
  const Result<std::string> partNamespace = CustomNamespace(part);
  if (!partNamespace) return partNamespace.outcome();
  std::vector<OtherProperty> properties;
  for (const xml::XmlNode& property : PropertiesOf(part, *partNamespace)) properties.push_back(CustomPropertyOf(property));
  return properties;
}

Result<bool> ApplyCustomEdits(xml::XmlDocument& part, const catalogue::OtherEdits& edits) {
  const Result<std::string> partNamespace = CustomNamespace(part);
  if (!partNamespace) return partNamespace.outcome();
  const std::string_view typesNamespace = *partNamespace == kStrictCustomNamespace ? kStrictTypesNamespace : kTypesNamespace;
  xml::XmlNode root = part.DocumentElement();
  bool changed = false;
  if (edits.removeAllCustom) {
    for (const xml::XmlNode& property : PropertiesOf(part, *partNamespace)) changed = root.RemoveChild(property) || changed;
  }
  for (const auto& [name, value] : edits.custom) {
    const std::vector<xml::XmlNode> properties = PropertiesOf(part, *partNamespace);
    const auto match = std::find_if(properties.begin(), properties.end(), [&name](const xml::XmlNode& property) {
      return catalogue::SameCustomName(property.Attribute("name").value_or(""), name);
    });
    if (!value) {
      if (match != properties.end()) changed = root.RemoveChild(*match) || changed;
      continue;
    }
    const std::string place = "custom property '" + name + "'";
    if (name.empty()) return Outcome::Failure(FailureKind::InvalidValue, "a custom property needs a name");
    if (Outcome checked = xml::XmlNode::CheckText(name); !checked) return checked.Within(place);
    if (match != properties.end()) {
      const OtherProperty shown = CustomPropertyOf(*match);
      if (shown.type == value->type && shown.value == catalogue::CustomValueText(*value)) continue;
      xml::XmlNode property = *match;
      property.RemoveChildren();
      if (Outcome stored = StoreValue(part, property, typesNamespace, *value); !stored) return stored.Within(place);
      changed = true;
      continue;
    }
    Result<xml::XmlNode> added = part.AppendChild(*partNamespace, "property", "");
    if (!added) return added.outcome().Within(place);
    for (const auto& [attribute, text] : {std::pair<std::string_view, std::string>{"fmtid", std::string(kUserDefinedFormatId)},
                                          {"pid", std::to_string(NextPid(properties))},
                                          {"name", name}}) {
      if (Outcome set = added->SetAttribute(attribute, text); !set) return set.Within(place);
    }
    if (Outcome stored = StoreValue(part, *added, typesNamespace, *value); !stored) return stored.Within(place);
    changed = true;
  }
  return changed;
}

std::string ReadableValue(const xml::XmlNode& element) {
  if (const Result<std::string> text = element.Text()) {
    if (!IsOneOf(element.LocalName(), kBinaryTypes)) return Shortened(*text);
    const auto digits = std::count_if(text->begin(), text->end(), [](char c) { return c != '=' && static_cast<unsigned char>(c) > ' '; });
    return std::to_string(digits * 3 / 4) + " バイト";
  }
  const std::vector<xml::XmlNode> children = element.Children();
  if (children.size() == 1 && children.front().Kind() == xml::XmlNodeKind::Element) return ReadableValue(children.front());
  std::vector<std::string> texts;
  CollectTexts(element, true, texts);
  if (texts.empty()) CollectTexts(element, false, texts);
  std::string joined;
  for (const std::string& text : texts) joined += (joined.empty() ? "" : ", ") + text;
  return Shortened(std::move(joined));
}

std::string StoredTypeOf(const xml::XmlNode& element) {
  const std::optional<xml::XmlNode> typed = FirstElement(element);
  return typed ? "vt:" + typed->LocalName() : "text";
}

}  // namespace kestrel::ooxml
