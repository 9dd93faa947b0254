#include "odf/UserDefinedProperties.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "odf/MetaRows.h"
#include "odf/MetaValues.h"
#include "ooxml/CustomProperties.h"
#include "platform/text/Blanks.h"

namespace kestrel::odf {

namespace {

using catalogue::CustomType;
using catalogue::CustomValue;
using catalogue::OtherProperty;

constexpr std::string_view kHyperlinkBase = "HyperlinkBase";

struct StatisticKey {
  std::string_view attribute;
  std::string_view key;
};

// The statistics the Office parts also keep, under their keys; the others keep their own names.
constexpr std::array<StatisticKey, 5> kStatisticKeys = {{
    {"page-count", "Pages"},
    {"word-count", "Words"},
    {"paragraph-count", "Paragraphs"},
    {"character-count", "CharactersWithSpaces"},
    {"non-whitespace-character-count", "Characters"},
}};

std::string NameOf(const xml::XmlNode& property) { return OwnAttribute(property, "name").value_or(""); }

// The stored value as its catalogue type; nullopt for a type the catalogue does not edit or a
// text its type cannot read.
std::optional<CustomValue> EditableValue(std::string_view type, const std::string& text) {
  const std::string_view trimmed = text::TrimSpaceAndControls(text);
  CustomValue value;
  if (type == "string") {
    value.text = text;
    return value;
  }
  if (type == "float") {
    Result<CustomValue> number = catalogue::ParseCustomValue(CustomType::Number, trimmed);
    return number ? std::optional<CustomValue>(std::move(*number)) : std::nullopt;
  }
  if (type == "date") {
    const std::optional<time::FileTime> utc = StoredDateToFileTime(trimmed);
    if (!utc) return std::nullopt;
    value.type = CustomType::Date;
    value.utc = *utc;
    return value;
  }
  if (type == "boolean") {
    if (trimmed != "true" && trimmed != "false") return std::nullopt;
    value.type = CustomType::YesNo;
    value.yes = trimmed == "true";
    return value;
  }
  return std::nullopt;
}

// The value type and text a value is stored as.
std::pair<std::string_view, std::string> StoredForm(const CustomValue& value) {
  switch (value.type) {
    case CustomType::Number: return {"float", catalogue::StoredNumberText(value)};
    case CustomType::Date: return {"date", FileTimeToStoredDate(value.utc)};
    case CustomType::YesNo: return {"boolean", value.yes ? "true" : "false"};
    case CustomType::Text: break;
  }
  return {"string", value.text};
}

OtherProperty CustomOf(const xml::XmlNode& property) {
  OtherProperty shown;
  shown.custom = true;
  shown.name = NameOf(property);
  // A property without a type is a string.
  const std::string type = OwnAttribute(property, "value-type").value_or("string");
  const Result<std::string> text = property.Text();
  const std::optional<CustomValue> value = text ? EditableValue(type, *text) : std::nullopt;
  if (value) {
    shown.type = value->type;
    shown.value = catalogue::CustomValueText(*value);
  } else {
    shown.otherType = type;
    shown.value = ooxml::ReadableValue(property);
  }
  return shown;
}

std::vector<xml::XmlNode> CustomNodes(const MetaPart& part) {
  std::vector<xml::XmlNode> nodes;
  for (const xml::XmlNode& property : part.Elements(kMetaNamespace, "user-defined")) {
    if (!HoldsRowOrOther(NameOf(property))) nodes.push_back(property);
  }
  return nodes;
}

bool IsRowElement(const xml::XmlNode& element) {
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 11> kRows = {{
      {kDcNamespace, "title"}, {kDcNamespace, "subject"}, {kMetaNamespace, "initial-creator"},
      {kMetaNamespace, "keyword"}, {kDcNamespace, "description"}, {kMetaNamespace, "editing-cycles"},
      {kDcNamespace, "creator"}, {kMetaNamespace, "creation-date"}, {kDcNamespace, "date"},
      {kMetaNamespace, "editing-duration"}, {kMetaNamespace, "print-date"},
  }};
  const std::string namespaceUri = element.NamespaceUri();
  const std::string localName = element.LocalName();
  return std::any_of(kRows.begin(), kRows.end(),
                     [&](const auto& row) { return row.first == namespaceUri && row.second == localName; });
}

void AppendStatistics(const xml::XmlNode& statistics, std::vector<OtherProperty>& others) {
  for (const auto& [name, value] : statistics.Attributes()) {
    const std::string localName = name.substr(name.find(':') + 1);
    if (name.starts_with("xmlns")) continue;
    const auto known = std::find_if(kStatisticKeys.begin(), kStatisticKeys.end(),
                                    [&](const StatisticKey& key) { return key.attribute == localName; });
    others.push_back({false, known != kStatisticKeys.end() ? std::string(known->key) : localName, "text", std::nullopt, value});
  }
}

// The elements that are none of the rows and none of the custom properties, read-only.
void AppendOthers(const MetaPart& part, std::vector<OtherProperty>& others) {
  for (const xml::XmlNode& element : part.AllElements()) {
    const std::string localName = element.LocalName();
    const bool inMeta = element.NamespaceUri() == kMetaNamespace;
    if (IsRowElement(element)) continue;
    if (inMeta && localName == "user-defined") {
      if (NameOf(element) == kHyperlinkBase) others.push_back({false, std::string(kHyperlinkBase), "text", std::nullopt, ooxml::ReadableValue(element)});
      continue;
    }
    if (inMeta && localName == "document-statistic") {
      AppendStatistics(element, others);
    } else if (inMeta && localName == "template") {
      // The name the template is shown by, else where it lies.
      std::string shown = element.Attribute("xlink:title").value_or("");
      if (shown.empty()) shown = element.Attribute("xlink:href").value_or("");
      others.push_back({false, "Template", "text", std::nullopt, std::move(shown)});
    } else if (inMeta && localName == "generator") {
      others.push_back({false, "Application", "text", std::nullopt, ooxml::ReadableValue(element)});
    } else {
      others.push_back({false, localName, "text", std::nullopt, ooxml::ReadableValue(element)});
    }
  }
}

Outcome StoreValue(MetaPart& part, xml::XmlNode property, const CustomValue& value) {
  const Result<std::string> typeName = part.AttributeName(kMetaNamespace, "meta", "value-type");
  if (!typeName) return typeName.outcome();
  const auto [type, text] = StoredForm(value);
  if (Outcome typed = property.SetAttribute(*typeName, type); !typed) return typed;
  property.RemoveChildren();
  return property.SetText(text);
}

Outcome Invalid(std::string message) { return Outcome::Failure(FailureKind::InvalidValue, std::move(message)); }

Result<bool> ApplyCustomEdit(MetaPart& part, const std::string& name, const std::optional<CustomValue>& value) {
  const std::vector<xml::XmlNode> properties = CustomNodes(part);
  const auto match = std::find_if(properties.begin(), properties.end(), [&name](const xml::XmlNode& property) {
    return catalogue::SameCustomName(NameOf(property), name);
  });
  if (!value) return match != properties.end() && part.Remove(*match);
  std::string place = "custom property '";
  place.append(name).append("'");
  if (name.empty()) return Invalid("a custom property needs a name");
  if (Outcome checked = xml::XmlNode::CheckText(name); !checked) return checked.Within(place);
  for (const int row : {catalogue::kCategory, catalogue::kManager, catalogue::kCompany}) {
    if (catalogue::SameCustomName(RowPropertyName(row), name)) {
      return Invalid(place + ": the name is that of a row of the document");
    }
  }
  if (catalogue::SameCustomName(kHyperlinkBase, name)) return Invalid(place + ": the name is that of the hyperlink base");
  if (match != properties.end()) {
    const OtherProperty shown = CustomOf(*match);
    if (shown.type == value->type && shown.value == catalogue::CustomValueText(*value)) return false;
    if (Outcome stored = StoreValue(part, *match, *value); !stored) return stored.Within(place);
    return true;
  }
  Result<xml::XmlNode> added = part.Append(kMetaNamespace, "user-defined", "meta");
  if (!added) return added.outcome().Within(place);
  const Result<std::string> nameAttribute = part.AttributeName(kMetaNamespace, "meta", "name");
  if (!nameAttribute) return nameAttribute.outcome();
  if (Outcome named = added->SetAttribute(*nameAttribute, name); !named) return named.Within(place);
  if (Outcome stored = StoreValue(part, *added, *value); !stored) return stored.Within(place);
  return true;
}

}  // namespace

std::vector<OtherProperty> ReadCustom(const MetaPart& part) {
  std::vector<OtherProperty> custom;
  for (const xml::XmlNode& property : CustomNodes(part)) custom.push_back(CustomOf(property));
  return custom;
}

std::vector<OtherProperty> ReadUserDefined(const MetaPart& part) {
  std::vector<OtherProperty> others = ReadCustom(part);
  AppendOthers(part, others);
  return others;
}

Result<bool> ApplyUserDefinedEdits(MetaPart& part, const catalogue::OtherEdits& edits) {
  bool changed = false;
  if (edits.removeAllCustom) {
    for (const xml::XmlNode& property : CustomNodes(part)) changed = part.Remove(property) || changed;
  }
  for (const auto& [name, value] : edits.custom) {
    const Result<bool> edited = ApplyCustomEdit(part, name, value);
    if (!edited) return edited;
    changed = *edited || changed;
  }
  if (edits.removeTemplate) changed = part.RemoveAll(kMetaNamespace, "template") || changed;
  if (edits.removeHyperlinkBase) {
    for (const xml::XmlNode& property : part.Elements(kMetaNamespace, "user-defined")) {
      if (NameOf(property) == kHyperlinkBase) changed = part.Remove(property) || changed;
    }
  }
  return changed;
}

}  // namespace kestrel::odf
