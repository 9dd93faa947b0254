#include "worddoc/BinaryOtherProperties.h"

#include <algorithm>
#include <array>
#include <set>
#include <string_view>

#include "catalogue/PropertyCatalogue.h"
#include "platform/text/CodePage.h"
#include "worddoc/PropertyText.h"

namespace kestrel::worddoc {

namespace {

using catalogue::CustomType;
using catalogue::CustomValue;
using catalogue::OtherProperty;
using storage::PropertyValue;
using storage::StoredProperty;

// Names the user-defined section gives properties Office keeps for itself, never custom ones.
constexpr std::string_view kReservedPrefix = "_PID_";
constexpr std::string_view kHyperlinkBaseName = "_PID_HLINKBASE";
// Ids with the high bit set are the locale and behaviour of the set, not properties.
constexpr std::uint32_t kSpecialPids = 0x80000000;

bool Reserved(std::string_view name) {
  return name.size() >= kReservedPrefix.size() && catalogue::SameCustomName(name.substr(0, kReservedPrefix.size()), kReservedPrefix);
}

struct Key {
  std::uint32_t pid;
  std::string_view key;
};

constexpr std::array<Key, 7> kSummaryKeys = {{
    {7, "Template"}, {14, "Pages"}, {15, "Words"}, {16, "Characters"}, {17, "Thumbnail"}, {18, "Application"},
    {19, "DocSecurity"},
}};
constexpr std::array<Key, 20> kDocSummaryKeys = {{
    {3, "PresentationFormat"}, {4, "Bytes"}, {5, "Lines"}, {6, "Paragraphs"}, {7, "Slides"}, {8, "Notes"},
    {9, "HiddenSlides"}, {10, "MMClips"}, {11, "ScaleCrop"}, {12, "HeadingPairs"}, {13, "TitlesOfParts"},
    {16, "LinksUpToDate"}, {17, "CharactersWithSpaces"}, {19, "SharedDoc"}, {22, "HyperlinksChanged"},
    {23, "AppVersion"}, {26, "contentType"}, {27, "contentStatus"}, {28, "language"}, {29, "version"},
}};
constexpr std::uint32_t kAppVersionPid = 23;

std::optional<CustomValue> EditableValue(const PropertyValue& value) {
  CustomValue custom;
  switch (value.type) {
    case storage::kVtLpstr:
    case storage::kVtLpwstr:
    case storage::kVtBstr:
      custom.text = value.text;
      return custom;
    case storage::kVtI1: case storage::kVtI2: case storage::kVtI4: case storage::kVtInt: case storage::kVtI8:
    case storage::kVtUi1: case storage::kVtUi2: case storage::kVtUi4: case storage::kVtUint: case storage::kVtUi8: {
      custom.type = CustomType::Number;
      custom.number = value.type == storage::kVtUi8 ? static_cast<double>(static_cast<std::uint64_t>(value.integer))
                                                    : static_cast<double>(value.integer);
      const bool fits = value.type != storage::kVtUi8 && value.integer >= INT32_MIN && value.integer <= INT32_MAX;
      if (fits) custom.whole = static_cast<std::int32_t>(value.integer);
      return custom;
    }
    case storage::kVtR4:
    case storage::kVtR8:
      custom.type = CustomType::Number;
      custom.number = value.real;
      return custom;
    case storage::kVtFiletime:
      custom.type = CustomType::Date;
      custom.utc = static_cast<time::FileTime>(value.integer);
      return custom;
    case storage::kVtBool:
      custom.type = CustomType::YesNo;
      custom.yes = value.integer != 0;
      return custom;
    default:
      return std::nullopt;
  }
}

// A value of a type that is not edited, shortly: a blob by its size, a vector by its items.
std::string ValueText(const PropertyValue& value) {
  if (std::optional<CustomValue> editable = EditableValue(value)) return catalogue::CustomValueText(*editable);
  if (value.type == storage::kVtBlob || value.type == storage::kVtCf) {
    return std::to_string(value.bytes.size()) + " バイト";
  }
  if ((value.type & storage::kVtVector) != 0) {
    std::string joined;
    for (const PropertyValue& element : value.elements) joined += (joined.empty() ? "" : ", ") + ValueText(element);
    return joined;
  }
  return FormatPropertyValue(value);
}

OtherProperty ReadOnly(std::string key, const StoredProperty& property) {
  OtherProperty other{false, std::move(key), storage::VarTypeName(property.type), std::nullopt, {}};
  if (property.value) other.value = ValueText(*property.value);
  return other;
}

// "16.0000": the major version in the high 16 bits, the minor in the low.
std::string AppVersionText(const PropertyValue& value) {
  const auto bits = static_cast<std::uint32_t>(value.integer);
  std::string minor = std::to_string(bits & 0xFFFF);
  minor.insert(0, minor.size() < 4 ? 4 - minor.size() : 0, '0');
  return std::to_string(bits >> 16) + "." + minor;
}

// The hyperlink base: a blob holding a NUL-terminated UTF-16LE string.
std::string HyperlinkBaseText(const PropertyValue& value) {
  if (value.type != storage::kVtBlob) return ValueText(value);
  std::string text = text::ToUtf8Lossy({reinterpret_cast<const char*>(value.bytes.data()), value.bytes.size() & ~std::size_t{1}},
                                       text::kCodePageUtf16Le);
  text.resize(std::min(text.size(), text.find('\0')));
  return text;
}

bool IsRowProperty(const storage::Guid& fmtid, std::uint32_t pid) {
  const auto& rows = catalogue::Catalogue().Rows();
  return std::any_of(rows.begin(), rows.end(), [&](const catalogue::CatalogueRow& row) {
    return FmtidOf(row.propertySet) == fmtid && static_cast<std::uint32_t>(row.propertyId) == pid;
  });
}

// The other properties of SummaryInformation or DocumentSummaryInformation, keyed.
template <std::size_t N>
Outcome AppendSetProperties(const storage::CompoundFile& file, const storage::Guid& fmtid, const std::array<Key, N>& keys,
                            std::vector<OtherProperty>& others) {
  Result<std::optional<storage::PropertySetStream>> set = storage::ReadPropertySet(file, fmtid);
  if (!set) return set.outcome();
  const auto properties = *set ? (*set)->Properties(fmtid) : std::nullopt;
  if (!properties) return Outcome::Success();
  for (const StoredProperty& property : *properties) {
    if (property.pid == storage::kPidCodePage || IsRowProperty(fmtid, property.pid)) continue;
    auto key = std::find_if(keys.begin(), keys.end(), [&](const Key& k) { return k.pid == property.pid; });
    OtherProperty other = ReadOnly(key != keys.end() ? std::string(key->key) : "PID " + std::to_string(property.pid), property);
    const bool appVersion = fmtid == storage::kFmtidDocSummaryInformation && property.pid == kAppVersionPid;
    if (appVersion && property.value && property.value->type == storage::kVtI4) other.value = AppVersionText(*property.value);
    others.push_back(std::move(other));
  }
  return Outcome::Success();
}

// The user-defined section's properties with their dictionary names (empty for none).
struct NamedProperty {
  StoredProperty property;
  std::string name;
};

std::optional<std::vector<NamedProperty>> NamedProperties(const storage::PropertySetStream& stream) {
  const auto properties = stream.Properties(storage::kFmtidUserDefinedProperties);
  if (!properties) return std::nullopt;
  const auto names = stream.Dictionary(storage::kFmtidUserDefinedProperties);
  std::vector<NamedProperty> named;
  for (const StoredProperty& property : *properties) {
    if (property.pid == storage::kPidCodePage) continue;
    std::string name;
    if (names) {
      auto entry = std::find_if(names->begin(), names->end(), [&](const auto& e) { return e.pid == property.pid; });
      if (entry != names->end()) name = entry->name;
    }
    named.push_back({property, std::move(name)});
  }
  return named;
}

OtherProperty CustomProperty(const NamedProperty& named) {
  const std::optional<CustomValue> editable = named.property.value ? EditableValue(*named.property.value) : std::nullopt;
  if (!editable) {
    OtherProperty other = ReadOnly(named.name, named.property);
    other.custom = true;
    return other;
  }
  return {true, named.name, {}, editable->type, catalogue::CustomValueText(*editable)};
}

PropertyValue StoredForm(const CustomValue& value) {
  PropertyValue stored;
  switch (value.type) {
    case CustomType::Text:
      stored.type = storage::kVtLpstr;
      stored.text = value.text;
      break;
    case CustomType::Number:
      stored.type = value.whole ? storage::kVtI4 : storage::kVtR8;
      stored.integer = value.whole.value_or(0);
      stored.real = value.number;
      break;
    case CustomType::Date:
      stored.type = storage::kVtFiletime;
      stored.integer = static_cast<std::int64_t>(value.utc);
      break;
    case CustomType::YesNo:
      stored.type = storage::kVtBool;
      stored.integer = value.yes ? -1 : 0;
      break;
  }
  return stored;
}

}  // namespace

Result<std::vector<OtherProperty>> ReadBinaryOtherProperties(const storage::CompoundFile& file) {
  std::vector<OtherProperty> custom;
  std::vector<OtherProperty> others;
  if (Outcome read = AppendSetProperties(file, storage::kFmtidSummaryInformation, kSummaryKeys, others); !read) return read;
  if (Outcome read = AppendSetProperties(file, storage::kFmtidDocSummaryInformation, kDocSummaryKeys, others); !read) {
    return read;
  }
  Result<std::optional<storage::PropertySetStream>> set = storage::ReadPropertySet(file, storage::kFmtidUserDefinedProperties);
  if (!set) return set.outcome();
  const auto named = *set ? NamedProperties(**set) : std::nullopt;
  for (const NamedProperty& property : named.value_or(std::vector<NamedProperty>())) {
    if (property.name.empty()) {
      if (property.property.pid < kSpecialPids) others.push_back(ReadOnly("PID " + std::to_string(property.property.pid), property.property));
    } else if (catalogue::SameCustomName(property.name, kHyperlinkBaseName)) {
      OtherProperty base = ReadOnly("HyperlinkBase", property.property);
      if (property.property.value) base.value = HyperlinkBaseText(*property.property.value);
      others.push_back(std::move(base));
    } else if (Reserved(property.name)) {
      others.push_back(ReadOnly(property.name, property.property));
    } else {
      custom.push_back(CustomProperty(property));
    }
  }
  custom.insert(custom.end(), others.begin(), others.end());
  return custom;
}

Result<storage::SectionChange> PlanCustomChange(const std::optional<storage::PropertySetStream>& stream,
                                                const catalogue::OtherEdits& edits) {
  storage::SectionChange change;
  change.fmtid = storage::kFmtidUserDefinedProperties;
  change.dropWhenEmpty = true;

  struct Entry {
    std::uint32_t pid = 0;
    std::string name;
    std::optional<OtherProperty> shown;  // as stored; nullopt for a new one
    std::optional<CustomValue> value;    // to store
    bool removed = false;
  };
  std::vector<Entry> entries;
  std::set<std::uint32_t> used;
  const bool readable = stream && stream->IsReadable(storage::kFmtidUserDefinedProperties);
  if (readable) {
    const auto named = NamedProperties(*stream);
    const auto names = stream->Dictionary(storage::kFmtidUserDefinedProperties);
    if (!named || !names) {
      return Outcome::Failure(FailureKind::Unsupported, "the names of the custom properties cannot be read");
    }
    for (const auto& entry : *names) used.insert(entry.pid);
    for (const NamedProperty& property : *named) {
      used.insert(property.property.pid);
      if (catalogue::SameCustomName(property.name, kHyperlinkBaseName) && edits.removeHyperlinkBase) {
        change.removals.push_back(property.property.pid);
      } else if (!property.name.empty() && !Reserved(property.name)) {
        entries.push_back({property.property.pid, property.name, CustomProperty(property), std::nullopt, edits.removeAllCustom});
      }
    }
  }
  for (const auto& [name, value] : edits.custom) {
    const bool valid = !name.empty() && name.find('\0') == std::string::npos && !Reserved(name) && text::IsValidUtf8(name);
    if (!valid) return Outcome::Failure(FailureKind::InvalidValue, "\"" + name + "\" cannot be the name of a custom property");
    auto match = std::find_if(entries.begin(), entries.end(),
                              [&](const Entry& e) { return !e.removed && catalogue::SameCustomName(e.name, name); });
    if (!value) {
      if (match != entries.end() && !match->shown) {
        entries.erase(match);
      } else if (match != entries.end()) {
        match->removed = true;
      }
    } else if (match != entries.end()) {
      match->value = *value;
    } else {
      std::uint32_t pid = 2;
      while (used.count(pid) != 0) ++pid;
      if (pid >= kSpecialPids) return Outcome::Failure(FailureKind::Unsupported, "no property id is free for a custom property");
      used.insert(pid);
      entries.push_back({pid, name, std::nullopt, *value, false});
    }
  }
  for (const Entry& entry : entries) {
    if (entry.removed) {
      change.removals.push_back(entry.pid);
    } else if (!entry.shown) {
      change.assignments.push_back({entry.pid, StoredForm(*entry.value)});
      change.names.push_back({entry.pid, entry.name});
    } else if (entry.value) {
      const bool same = entry.shown->type == entry.value->type && entry.shown->value == catalogue::CustomValueText(*entry.value);
      if (!same) change.assignments.push_back({entry.pid, StoredForm(*entry.value)});
    }
  }
  return change;
}

}  // namespace kestrel::worddoc
