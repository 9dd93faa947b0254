#include "odf/MetaRows.h"

#include <algorithm>
#include <array>

#include "odf/MetaValues.h"
#include "platform/text/Blanks.h"

namespace kestrel::odf {

namespace {

enum class RowForm { Text, Keywords, Count, Date, Duration, UserDefined };

struct RowElement {
  int row;
  std::string_view namespaceUri;
  std::string_view localName;  // the user-defined property's name for RowForm::UserDefined
  std::string_view prefix;
  RowForm form;
};

constexpr std::array<RowElement, catalogue::kRowCount> kRowElements = {{
    {catalogue::kTitle, kDcNamespace, "title", "dc", RowForm::Text},
    {catalogue::kSubject, kDcNamespace, "subject", "dc", RowForm::Text},
    {catalogue::kAuthor, kMetaNamespace, "initial-creator", "meta", RowForm::Text},
    {catalogue::kKeywords, kMetaNamespace, "keyword", "meta", RowForm::Keywords},
    {catalogue::kComments, kDcNamespace, "description", "dc", RowForm::Text},
    {catalogue::kCategory, kMetaNamespace, "OOXMLCorePropertyCategory", "meta", RowForm::UserDefined},
    {catalogue::kRevisionNumber, kMetaNamespace, "editing-cycles", "meta", RowForm::Count},
    {catalogue::kLastSavedBy, kDcNamespace, "creator", "dc", RowForm::Text},
    {catalogue::kManager, kMetaNamespace, "Manager", "meta", RowForm::UserDefined},
    {catalogue::kCompany, kMetaNamespace, "Company", "meta", RowForm::UserDefined},
    {catalogue::kCreated, kMetaNamespace, "creation-date", "meta", RowForm::Date},
    {catalogue::kLastSaved, kDcNamespace, "date", "dc", RowForm::Date},
    {catalogue::kEditingTime, kMetaNamespace, "editing-duration", "meta", RowForm::Duration},
    {catalogue::kLastPrinted, kMetaNamespace, "print-date", "meta", RowForm::Date},
}};

constexpr std::string_view kHyperlinkBase = "HyperlinkBase";

std::string Label(const RowElement& element) {
  std::string label(element.prefix);
  if (element.form == RowForm::UserDefined) return label.append(":user-defined ").append(element.localName);
  return label.append(":").append(element.localName);
}

Outcome Invalid(std::string message) { return Outcome::Failure(FailureKind::InvalidValue, std::move(message)); }

// The elements that hold the row.
std::vector<xml::XmlNode> RowNodes(const MetaPart& part, const RowElement& element) {
  if (element.form != RowForm::UserDefined) return part.Elements(element.namespaceUri, element.localName);
  std::vector<xml::XmlNode> found;
  for (const xml::XmlNode& property : part.Elements(kMetaNamespace, "user-defined")) {
    if (OwnAttribute(property, "name") == element.localName) found.push_back(property);
  }
  return found;
}

Result<std::string> ShownText(const MetaPart& part, const RowElement& element) {
  const std::vector<xml::XmlNode> nodes = RowNodes(part, element);
  std::string shown;
  for (const xml::XmlNode& node : nodes) {
    Result<std::string> text = node.Text();
    if (!text) return text.outcome().Within(Label(element));
    if (element.form != RowForm::Keywords) {
      shown = std::move(*text);
      break;
    }
    if (!shown.empty()) shown.append(", ");
    shown.append(*text);
  }
  switch (element.form) {
    case RowForm::Date: return StoredDateText(shown);
    case RowForm::Duration: {
      const std::optional<long long> minutes = DurationMinutes(shown);
      return minutes ? std::to_string(*minutes) : std::string();
    }
    default: return shown;
  }
}

std::vector<std::string> SplitKeywords(std::string_view value) {
  std::vector<std::string> keywords;
  while (true) {
    const std::size_t comma = value.find(',');
    const std::string_view keyword = text::TrimSpaceAndControls(value.substr(0, comma));
    if (!keyword.empty()) keywords.emplace_back(keyword);
    if (comma == std::string_view::npos) return keywords;
    value.remove_prefix(comma + 1);
  }
}

Result<std::string> Wanted(const RowElement& element, const std::string& value) {
  if (element.form == RowForm::Date || element.form == RowForm::Count || element.form == RowForm::Duration) {
    const std::string_view trimmed = text::TrimSpaceAndControls(value);
    if (trimmed.empty()) return std::string();
    if (element.form == RowForm::Date) {
      const std::optional<std::string> stored = DateTextToStored(trimmed);
      if (!stored) return Invalid("'" + value + "' is not a valid date and time");
      return StoredDateText(*stored);
    }
    const std::optional<long long> count = CountOf(trimmed);
    if (!count) return Invalid("'" + value + "' is not a whole number of 0 or more");
    return std::to_string(*count);
  }
  if (Outcome checked = xml::XmlNode::CheckText(value); !checked) return checked;
  if (element.form != RowForm::Keywords) return value;
  std::string joined;
  for (const std::string& keyword : SplitKeywords(value)) {
    if (!joined.empty()) joined.append(", ");
    joined.append(keyword);
  }
  return joined;
}

// The texts of the elements that store `wanted`.
std::vector<std::string> StoredTexts(const RowElement& element, const std::string& wanted) {
  if (wanted.empty()) return {};
  switch (element.form) {
    case RowForm::Keywords: return SplitKeywords(wanted);
    case RowForm::Date: return {DateTextToStored(wanted).value_or("")};
    case RowForm::Duration: return {MinutesToDuration(CountOf(wanted).value_or(0))};
    default: return {wanted};
  }
}

Outcome StoreRow(MetaPart& part, const RowElement& element, const std::string& wanted) {
  std::vector<xml::XmlNode> nodes = RowNodes(part, element);
  const std::vector<std::string> texts = StoredTexts(element, wanted);
  // The first element keeps its place; the others go, and further keywords follow at the end.
  const std::size_t kept = texts.empty() ? 0 : std::min<std::size_t>(nodes.size(), 1);
  for (std::size_t i = kept; i < nodes.size(); ++i) part.Remove(nodes[i]);
  nodes.erase(nodes.begin() + static_cast<std::ptrdiff_t>(kept), nodes.end());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (i >= nodes.size()) {
      const std::string_view localName = element.form == RowForm::UserDefined ? "user-defined" : element.localName;
      Result<xml::XmlNode> added = part.Append(element.namespaceUri, localName, element.prefix);
      if (!added) return added.outcome();
      if (element.form == RowForm::UserDefined) {
        const Result<std::string> name = part.AttributeName(kMetaNamespace, "meta", "name");
        if (!name) return name.outcome();
        if (Outcome named = added->SetAttribute(*name, element.localName); !named) return named;
      }
      nodes.push_back(*added);
    }
    xml::XmlNode node = nodes[i];
    if (element.form == RowForm::UserDefined) {
      const Result<std::string> type = part.AttributeName(kMetaNamespace, "meta", "value-type");
      if (!type) return type.outcome();
      if (Outcome typed = node.SetAttribute(*type, "string"); !typed) return typed;
    }
    node.RemoveChildren();
    if (Outcome set = node.SetText(texts[i]); !set) return set;
  }
  return Outcome::Success();
}

}  // namespace

std::string_view RowPropertyName(int row) {
  const RowElement& element = kRowElements.at(static_cast<std::size_t>(row));
  return element.form == RowForm::UserDefined ? element.localName : std::string_view();
}

bool HoldsRowOrOther(std::string_view userDefinedName) {
  return userDefinedName == kHyperlinkBase ||
         std::any_of(kRowElements.begin(), kRowElements.end(), [&](const RowElement& element) {
           return element.form == RowForm::UserDefined && element.localName == userDefinedName;
         });
}

Result<catalogue::PropertyTexts> ReadMetaRows(const MetaPart& part) {
  catalogue::PropertyTexts texts;
  for (const RowElement& element : kRowElements) {
    Result<std::string> shown = ShownText(part, element);
    if (!shown) return shown.outcome();
    texts[static_cast<std::size_t>(element.row)] = std::move(*shown);
  }
  return texts;
}

Result<catalogue::PropertyTexts> WantedRows(const catalogue::PropertyRows& rows) {
  catalogue::PropertyTexts wanted;
  for (const RowElement& element : kRowElements) {
    if (!rows.Included(element.row)) continue;
    Result<std::string> text = Wanted(element, rows.Value(element.row));
    if (!text) return text.outcome().Within(Label(element));
    wanted[static_cast<std::size_t>(element.row)] = std::move(*text);
  }
  return wanted;
}

Result<bool> ApplyMetaRows(MetaPart& part, const catalogue::PropertyRows& rows, const catalogue::PropertyTexts& wanted) {
  bool changed = false;
  for (const RowElement& element : kRowElements) {
    if (!rows.Included(element.row)) continue;
    const std::string& text = wanted[static_cast<std::size_t>(element.row)];
    const Result<std::string> shown = ShownText(part, element);
    if (!shown) return shown.outcome();
    // What already shows as asked stays as stored: a zone, a fraction, seconds of a duration.
    if (*shown == text) continue;
    if (Outcome stored = StoreRow(part, element, text); !stored) return stored.Within(Label(element));
    changed = true;
  }
  return changed;
}

}  // namespace kestrel::odf
