#include "ooxml/OoxmlProperties.h"

#include <algorithm>
#include <span>

#include "ooxml/FindPropertyParts.h"
#include "ooxml/OoxmlDates.h"
#include "platform/text/Blanks.h"
#include "platform/xml/XmlError.h"

namespace kestrel::ooxml {

namespace {

constexpr std::string_view kCoreNamespace = "http://schemas.openxmlformats.org/package/2006/metadata/core-properties";
constexpr std::string_view kDcNamespace = "http://purl.org/dc/elements/1.1/";
constexpr std::string_view kDctermsNamespace = "http://purl.org/dc/terms/";
// Transitional packages write the extended properties in the first namespace, Strict ones in the
// second; the core properties keep theirs in both.
constexpr std::string_view kExtendedNamespaces[] = {
    "http://schemas.openxmlformats.org/officeDocument/2006/extended-properties",
    "http://purl.oclc.org/ooxml/officeDocument/extendedProperties"};
// For an element in the namespace of its part's document element, whichever of the part's it is.
constexpr std::string_view kPartNamespace{};
constexpr std::string_view kXsiNamespace = "http://www.w3.org/2001/XMLSchema-instance";

struct PropertyElement {
  std::string_view namespaceUri;
  std::string_view localName;
  std::string_view prefix;  // the usual one: for messages, and declared for a new element if need be
  int row;

  std::string Label() const {
    return prefix.empty() ? std::string(localName) : std::string(prefix) + ":" + std::string(localName);
  }
};

// In the order they are looked up and written.
constexpr PropertyElement kExtendedElements[] = {{kPartNamespace, "Manager", "", catalogue::kManager},
                                                 {kPartNamespace, "Company", "", catalogue::kCompany},
                                                 {kPartNamespace, "TotalTime", "", catalogue::kEditingTime}};
constexpr PropertyElement kCoreElements[] = {
    {kDcNamespace, "title", "dc", catalogue::kTitle},
    {kDcNamespace, "subject", "dc", catalogue::kSubject},
    {kDcNamespace, "creator", "dc", catalogue::kAuthor},
    {kCoreNamespace, "keywords", "cp", catalogue::kKeywords},
    {kDcNamespace, "description", "dc", catalogue::kComments},
    {kCoreNamespace, "lastModifiedBy", "cp", catalogue::kLastSavedBy},
    {kCoreNamespace, "revision", "cp", catalogue::kRevisionNumber},
    {kDctermsNamespace, "created", "dcterms", catalogue::kCreated},
    {kDctermsNamespace, "modified", "dcterms", catalogue::kLastSaved},
    {kCoreNamespace, "category", "cp", catalogue::kCategory},
    {kCoreNamespace, "lastPrinted", "cp", catalogue::kLastPrinted},
};

// What a property part is and holds.
struct PartLayout {
  std::span<const std::string_view> rootNamespaces;  // the transitional one first
  std::string_view rootName;
  std::span<const PropertyElement> elements;
};

constexpr std::string_view kCoreNamespaces[] = {kCoreNamespace};
constexpr PartLayout kCoreLayout{kCoreNamespaces, "coreProperties", kCoreElements};
constexpr PartLayout kExtendedLayout{kExtendedNamespaces, "Properties", kExtendedElements};

// The namespace the part is written in: its document element's when the layout knows that one,
// else the transitional one.
std::string_view PartNamespace(const xml::XmlDocument& partDocument, const PartLayout& layout) {
  const std::string root = partDocument.DocumentElement().NamespaceUri();
  const auto found = std::find(layout.rootNamespaces.begin(), layout.rootNamespaces.end(), root);
  return found != layout.rootNamespaces.end() ? *found : layout.rootNamespaces.front();
}

// The layout's elements as the loaded part names them: in the part's own namespace where they
// follow it, so a Strict part is read and written in its Strict namespace.
std::vector<PropertyElement> ElementsOf(const xml::XmlDocument& partDocument, const PartLayout& layout) {
  const std::string_view partNamespace = PartNamespace(partDocument, layout);
  std::vector<PropertyElement> elements(layout.elements.begin(), layout.elements.end());
  for (PropertyElement& element : elements) {
    if (element.namespaceUri == kPartNamespace) element.namespaceUri = partNamespace;
  }
  return elements;
}

bool IsDateRow(int row) {
  return row == catalogue::kCreated || row == catalogue::kLastSaved || row == catalogue::kLastPrinted;
}

// The element's text; nullopt when the part has no such element. Throws xml::XmlError for an
// element that holds more than text.
std::optional<std::string> StoredText(const xml::XmlDocument& partDocument, const PropertyElement& element) {
  const auto found = partDocument.FindChild(element.namespaceUri, element.localName);
  if (!found) return std::nullopt;
  return found->Text();
}

// Loads a part into partDocument; false when the package does not hold it or holds it empty.
bool LoadPart(zip::Package& package, xml::XmlDocument& partDocument, const std::string& part) {
  std::vector<std::uint8_t> stream;
  package.ExtractToMemory(&stream, part);
  if (stream.empty()) return false;
  partDocument.Reset();
  partDocument.Load(stream);
  return true;
}

void ReadTexts(const xml::XmlDocument& partDocument, const PartLayout& layout,
               std::array<std::string, catalogue::kRowCount>& texts) {
  for (const PropertyElement& element : ElementsOf(partDocument, layout)) {
    texts[static_cast<std::size_t>(element.row)] = StoredText(partDocument, element).value_or("");
  }
}

// ---------------------------------------------------------------------------------------------
// Planning

enum class EditAction { Keep, Set, Remove };

struct RowEdit {
  EditAction action = EditAction::Keep;
  std::string text;  // for Set
};

Outcome InvalidValue(std::string message) { return Outcome::Failure(FailureKind::InvalidValue, std::move(message)); }

Result<RowEdit> PlanDateEdit(int row, const std::string& value, const std::optional<std::string>& stored) {
  const std::string current = stored.value_or("");
  if (text::TrimSpaceAndControls(value).empty()) {
    // The reading shows a date it cannot read as empty: an empty value sets nothing new then.
    if (!current.empty() && UtcIsoToLocalText(current).empty()) return RowEdit{};
    if (row == catalogue::kLastPrinted) return RowEdit{stored ? EditAction::Remove : EditAction::Keep, {}};
    return RowEdit{current.empty() ? EditAction::Keep : EditAction::Set, {}};
  }
  std::string utc = LocalTextToUtcIso(text::TrimSpaceAndControls(value));
  if (utc.empty()) return InvalidValue("'" + value + "' is not a valid date and time");
  // The instant the user was shown keeps the form it was stored in, offset and fraction too.
  if (stored && UtcIsoToLocalText(current) == UtcIsoToLocalText(utc)) return RowEdit{};
  return RowEdit{EditAction::Set, std::move(utc)};
}

Result<RowEdit> PlanRowEdit(int row, const std::string& value, const std::optional<std::string>& stored) {
  if (IsDateRow(row)) return PlanDateEdit(row, value, stored);
  if (value.empty() && row == catalogue::kEditingTime) {
    return RowEdit{stored ? EditAction::Remove : EditAction::Keep, {}};
  }
  if (stored ? *stored == value : value.empty()) return RowEdit{};
  try {
    xml::XmlNode::CheckText(value);
  } catch (const xml::XmlError& error) {
    return InvalidValue(error.what());
  }
  return RowEdit{EditAction::Set, value};
}

void ApplyRowEdit(xml::XmlDocument& partDocument, const PropertyElement& element, const RowEdit& edit) {
  switch (edit.action) {
    case EditAction::Keep:
      return;
    case EditAction::Remove:
      // Every copy goes, or the reading would find the next one.
      while (partDocument.RemoveChild(element.namespaceUri, element.localName)) {
      }
      return;
    case EditAction::Set:
      break;
  }
  auto found = partDocument.FindChild(element.namespaceUri, element.localName);
  if (!found) {
    found = partDocument.AppendChild(element.namespaceUri, element.localName, element.prefix);
    if (element.namespaceUri == kDctermsNamespace) {
      // Readers take a dcterms date for W3CDTF only when the element says so.
      found->SetAttribute(partDocument.BindPrefix(kXsiNamespace, "xsi") + ":type",
                          partDocument.BindPrefix(kDctermsNamespace, "dcterms") + ":W3CDTF");
    }
  }
  found->SetText(edit.text);
}

struct PlannedRow {
  const PropertyElement* element;
  RowEdit edit;
  std::optional<std::string> expected;  // what the reading must find afterwards
};

// The part's new bytes, or nullopt when no included row changes it. Leaves the new bytes loaded.
Result<std::optional<std::vector<std::uint8_t>>> PlanPart(xml::XmlDocument& partDocument, const PartLayout& layout,
                                                          const std::string& partName,
                                                          const std::vector<std::uint8_t>& bytes,
                                                          const catalogue::PropertyRows& rows) {
  const auto failure = [&partName](FailureKind kind, const std::string& message) {
    return Outcome::Failure(kind, partName + ": " + message);
  };
  try {
    partDocument.Load(bytes);
  } catch (const xml::XmlError& error) {
    return failure(FailureKind::Damaged, error.what());
  }
  const xml::XmlNode root = partDocument.DocumentElement();
  if (root.LocalName() != layout.rootName || root.NamespaceUri() != PartNamespace(partDocument, layout)) {
    return failure(FailureKind::Unsupported, "the document element is " + root.Name() + " in namespace '" +
                                                 root.NamespaceUri() + "', not " + std::string(layout.rootName));
  }

  const std::vector<PropertyElement> elements = ElementsOf(partDocument, layout);
  std::vector<PlannedRow> planned;
  for (const PropertyElement& element : elements) {
    if (!rows.Included(element.row)) continue;
    std::optional<std::string> stored;
    try {
      stored = StoredText(partDocument, element);
    } catch (const xml::XmlError& error) {
      return failure(FailureKind::Unsupported, element.Label() + ": " + error.what());
    }
    auto edit = PlanRowEdit(element.row, rows.Value(element.row), stored);
    if (!edit) return edit.outcome().Within(partName + ": " + element.Label());
    std::optional<std::string> expected = stored;
    if (edit->action == EditAction::Set) expected = edit->text;
    if (edit->action == EditAction::Remove) expected.reset();
    planned.push_back({&element, std::move(*edit), std::move(expected)});
  }
  if (std::none_of(planned.begin(), planned.end(), [](const PlannedRow& row) { return row.edit.action != EditAction::Keep; })) {
    return std::optional<std::vector<std::uint8_t>>();
  }

  std::vector<std::uint8_t> saved;
  try {
    for (const PlannedRow& row : planned) ApplyRowEdit(partDocument, *row.element, row.edit);
    saved = partDocument.Save();  // refuses a character the part's own encoding cannot hold
  } catch (const xml::XmlError& error) {
    return failure(FailureKind::InvalidValue, error.what());
  }

  // Read back the way the reading will, from the very bytes that would be stored.
  try {
    partDocument.Load(saved);
    for (const PlannedRow& row : planned) {
      if (StoredText(partDocument, *row.element) != row.expected) {
        return failure(FailureKind::InvalidValue,
                       row.element->Label() + ": '" + rows.Value(row.element->row) + "' does not read back as given");
      }
    }
  } catch (const xml::XmlError& error) {
    return failure(FailureKind::Damaged, std::string("the rewritten part does not read again: ") + error.what());
  }
  return std::optional<std::vector<std::uint8_t>>(std::move(saved));
}

std::string PartNameInPackage(std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

// The part's bytes; NotADocument when the package does not hold it or holds it empty. Throws the
// ZIP component's errors.
Result<std::vector<std::uint8_t>> ExtractPart(zip::Package& package, const std::string& part) {
  std::vector<std::uint8_t> bytes;
  package.ExtractToMemory(&bytes, part);
  if (bytes.empty()) return Outcome::Failure(FailureKind::NotADocument, PartNameInPackage(part) + " is missing or empty");
  return bytes;
}

// Both parts are planned in full before the caller stores anything.
Result<std::vector<PartUpdate>> PlanBothParts(zip::Package& package, xml::XmlDocument& partDocument,
                                              const std::string& path, const catalogue::PropertyRows& rows) {
  const Result<PropertyParts> parts = LocatePropertyParts(package, partDocument, path);
  if (!parts) return parts.outcome();
  std::vector<PartUpdate> updates;
  for (const auto& [part, layout] : {std::pair{parts->corePart, &kCoreLayout}, {parts->extendedPart, &kExtendedLayout}}) {
    const std::string partName = PartNameInPackage(part);
    Result<std::vector<std::uint8_t>> bytes = Outcome::Failure(FailureKind::Damaged, "");
    try {
      bytes = ExtractPart(package, part);
    } catch (const zip::UnsupportedMethod& error) {
      return Outcome::Failure(FailureKind::Unsupported, error.what());
    } catch (const zip::Error& error) {
      return Outcome::Failure(FailureKind::Damaged, partName + ": " + error.what());
    }
    if (!bytes) return bytes.outcome();
    auto planned = PlanPart(partDocument, *layout, partName, *bytes, rows);
    if (!planned) return planned.outcome();
    if (*planned) updates.push_back({part, std::move(**planned)});
  }
  partDocument.Reset();
  return updates;
}

// Both parts in one rewrite, so the package never holds one changed part without the other; the
// ZIP component raises its errors and leaves the package as it was.
void StoreParts(zip::Package& package, const std::vector<PartUpdate>& updates, const fs::FinalState* state) {
  if (updates.empty()) return;
  std::vector<zip::EntryReplacement> replacements;
  for (const PartUpdate& update : updates) replacements.push_back({update.name, update.bytes});
  package.ReplaceEntriesFromMemory(replacements, state);
}

}  // namespace

std::optional<std::array<std::string, catalogue::kRowCount>> ReadOoxmlProperties(zip::Package& package,
                                                                                 xml::XmlDocument& partDocument,
                                                                                 const std::string& path) {
  const auto parts = FindPropertyParts(package, partDocument, path);
  if (!parts) return std::nullopt;
  std::array<std::string, catalogue::kRowCount> texts;
  if (!LoadPart(package, partDocument, parts->extendedPart)) return std::nullopt;
  ReadTexts(partDocument, kExtendedLayout, texts);
  partDocument.Reset();
  if (!LoadPart(package, partDocument, parts->corePart)) return std::nullopt;
  ReadTexts(partDocument, kCoreLayout, texts);
  partDocument.Reset();
  for (int row : {catalogue::kCreated, catalogue::kLastSaved, catalogue::kLastPrinted}) {
    auto& text = texts[static_cast<std::size_t>(row)];
    text = UtcIsoToLocalText(text);
  }
  return texts;
}

Result<std::vector<PartUpdate>> PlanOoxmlProperties(zip::Package& package, xml::XmlDocument& partDocument,
                                                    const std::string& path, const catalogue::PropertyRows& rows) {
  try {
    return PlanBothParts(package, partDocument, path, rows);
  } catch (const std::exception& error) {
    // Only memory can run out here; every expected failure is an outcome already.
    partDocument.Reset();
    return Outcome::Failure(FailureKind::Damaged, error.what());
  }
}

Outcome ChangeOoxmlProperties(zip::Package& package, xml::XmlDocument& partDocument, const std::string& path,
                              const catalogue::PropertyRows& rows, const fs::FinalState* state) {
  const auto planned = PlanOoxmlProperties(package, partDocument, path, rows);
  if (!planned) return planned.outcome();
  try {
    StoreParts(package, *planned, state);
  } catch (const std::exception& error) {
    return Outcome::Failure(FailureKind::Io, std::string("the package could not be rewritten: ") + error.what());
  }
  return Outcome::Success();
}

bool WriteOoxmlProperties(zip::Package& package, xml::XmlDocument& partDocument, const std::string& path,
                          const catalogue::PropertyRows& rows) {
  const auto planned = PlanOoxmlProperties(package, partDocument, path, rows);
  if (!planned) {
    const FailureKind kind = planned.outcome().kind();
    if (kind == FailureKind::NotADocument || kind == FailureKind::Io) return false;
    throw xml::XmlError(planned.outcome().message());
  }
  StoreParts(package, *planned, nullptr);
  return true;
}

void UpdatePropertyElement(xml::XmlDocument& partDocument, std::string_view name, const std::string& value) {
  if (value.empty() && (name == "cp:lastPrinted" || name == "TotalTime")) {
    partDocument.RemoveChild(name);
    return;
  }
  for (xml::XmlNode child : partDocument.DocumentElement().Children()) {
    if (child.Name() == name) {
      child.SetText(value);
      return;
    }
  }
  // A name whose prefix the part does not bind cannot be added; it is left out.
  if (auto added = partDocument.AddChild(name)) added->SetText(value);
}

}  // namespace kestrel::ooxml
