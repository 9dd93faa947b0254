#include "ooxml/OoxmlProperties.h"

#include <algorithm>
#include <span>

#include "ooxml/CustomProperties.h"
#include "ooxml/FindPropertyParts.h"
#include "ooxml/OoxmlDates.h"
#include "platform/text/Blanks.h"

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
constexpr std::string_view kTypesNamespaces[] = {"http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes",
                                                 "http://purl.oclc.org/ooxml/officeDocument/docPropsVTypes"};

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

// The element's text; nullopt when the part has no such element. Unsupported for an element that
// holds more than text.
Result<std::optional<std::string>> StoredText(const xml::XmlDocument& partDocument, const PropertyElement& element) {
  const auto found = partDocument.FindChild(element.namespaceUri, element.localName);
  if (!found) return std::optional<std::string>();
  Result<std::string> text = found->Text();
  if (!text) return text.outcome();
  return std::optional<std::string>(std::move(*text));
}

std::string PartNameInPackage(std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

// Loads a part into partDocument. NotADocument when the package does not hold it or holds it
// empty; the ZIP component's failures as it gives them (they name the entry), the XML adapter's
// with the part's name in front.
Outcome LoadPart(zip::Package& package, xml::XmlDocument& partDocument, const std::string& part) {
  const std::string partName = PartNameInPackage(part);
  std::vector<std::uint8_t> bytes;
  if (const Result<int> extracted = package.ExtractToMemory(&bytes, part); !extracted) return extracted.outcome();
  if (bytes.empty()) return Outcome::Failure(FailureKind::NotADocument, partName + " is missing or empty");
  return partDocument.Load(bytes).Within(partName);
}

Result<std::array<std::string, catalogue::kRowCount>> ReadTexts(zip::Package& package, xml::XmlDocument& partDocument,
                                                                const std::string& path) {
  const Result<PropertyParts> parts = LocatePropertyParts(package, partDocument, path);
  if (!parts) return parts.outcome();
  std::array<std::string, catalogue::kRowCount> texts;
  for (const auto& [part, layout] : {std::pair{parts->extendedPart, &kExtendedLayout}, {parts->corePart, &kCoreLayout}}) {
    if (part.empty()) continue;  // its rows stay empty
    if (Outcome loaded = LoadPart(package, partDocument, part); !loaded) return loaded;
    for (const PropertyElement& element : ElementsOf(partDocument, *layout)) {
      const Result<std::optional<std::string>> stored = StoredText(partDocument, element);
      if (!stored) return stored.outcome().Within(PartNameInPackage(part) + ": " + element.Label());
      texts[static_cast<std::size_t>(element.row)] = stored->value_or("");
    }
  }
  for (int row : {catalogue::kCreated, catalogue::kLastSaved, catalogue::kLastPrinted}) {
    auto& text = texts[static_cast<std::size_t>(row)];
    text = UtcIsoToLocalText(text);
  }
  return texts;
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
  if (Outcome checked = xml::XmlNode::CheckText(value); !checked) return checked;
  return RowEdit{EditAction::Set, value};
}

Outcome ApplyRowEdit(xml::XmlDocument& partDocument, const PropertyElement& element, const RowEdit& edit) {
  switch (edit.action) {
    case EditAction::Keep:
      return Outcome::Success();
    case EditAction::Remove:
      // Every copy goes, or the reading would find the next one.
      while (partDocument.RemoveChild(element.namespaceUri, element.localName)) {
      }
      return Outcome::Success();
    case EditAction::Set:
      break;
  }
  std::optional<xml::XmlNode> found = partDocument.FindChild(element.namespaceUri, element.localName);
  if (!found) {
    Result<xml::XmlNode> added = partDocument.AppendChild(element.namespaceUri, element.localName, element.prefix);
    if (!added) return added.outcome();
    if (element.namespaceUri == kDctermsNamespace) {
      // Readers take a dcterms date for W3CDTF only when the element says so.
      const Result<std::string> xsi = partDocument.BindPrefix(kXsiNamespace, "xsi");
      if (!xsi) return xsi.outcome();
      const Result<std::string> dcterms = partDocument.BindPrefix(kDctermsNamespace, "dcterms");
      if (!dcterms) return dcterms.outcome();
      if (Outcome typed = added->SetAttribute(*xsi + ":type", *dcterms + ":W3CDTF"); !typed) return typed;
    }
    found = *added;
  }
  return found->SetText(edit.text);
}

struct PlannedRow {
  const PropertyElement* element;
  RowEdit edit;
  std::optional<std::string> expected;  // what the reading must find afterwards
};

// The loaded part's new bytes, or nullopt when no included row changes it. Leaves the new bytes
// loaded.
// `removals` are local names of elements in the part's namespace that go whatever the rows say.
Result<std::optional<std::vector<std::uint8_t>>> PlanPart(xml::XmlDocument& partDocument, const PartLayout& layout,
                                                          const std::string& partName,
                                                          const catalogue::PropertyRows& rows,
                                                          std::span<const std::string_view> removals = {}) {
  const xml::XmlNode root = partDocument.DocumentElement();
  if (root.LocalName() != layout.rootName || root.NamespaceUri() != PartNamespace(partDocument, layout)) {
    return Outcome::Failure(FailureKind::Unsupported, partName + ": the document element is " + root.Name() +
                                                          " in namespace '" + root.NamespaceUri() + "', not " +
                                                          std::string(layout.rootName));
  }

  const std::vector<PropertyElement> elements = ElementsOf(partDocument, layout);
  std::vector<PlannedRow> planned;
  for (const PropertyElement& element : elements) {
    if (!rows.Included(element.row)) continue;
    const std::string place = partName + ": " + element.Label();
    const Result<std::optional<std::string>> stored = StoredText(partDocument, element);
    if (!stored) return stored.outcome().Within(place);
    auto edit = PlanRowEdit(element.row, rows.Value(element.row), *stored);
    if (!edit) return edit.outcome().Within(place);
    std::optional<std::string> expected = *stored;
    if (edit->action == EditAction::Set) expected = edit->text;
    if (edit->action == EditAction::Remove) expected.reset();
    planned.push_back({&element, std::move(*edit), std::move(expected)});
  }
  const std::string partNamespace(PartNamespace(partDocument, layout));
  const bool removes = std::any_of(removals.begin(), removals.end(), [&](std::string_view name) {
    return partDocument.FindChild(partNamespace, name).has_value();
  });
  if (!removes &&
      std::none_of(planned.begin(), planned.end(), [](const PlannedRow& row) { return row.edit.action != EditAction::Keep; })) {
    return std::optional<std::vector<std::uint8_t>>();
  }

  for (const std::string_view name : removals) {
    while (partDocument.RemoveChild(partNamespace, name)) {
    }
  }

  for (const PlannedRow& row : planned) {
    if (Outcome applied = ApplyRowEdit(partDocument, *row.element, row.edit); !applied) {
      return applied.Within(partName + ": " + row.element->Label());
    }
  }
  Result<std::vector<std::uint8_t>> saved = partDocument.Save();  // refuses a character the part's own encoding cannot hold
  if (!saved) return saved.outcome().Within(partName);

  // Read back the way the reading will, from the very bytes that would be stored.
  const std::string readAgain = partName + ": the rewritten part does not read again";
  if (Outcome loaded = partDocument.Load(*saved); !loaded) return loaded.Within(readAgain);
  for (const PlannedRow& row : planned) {
    const Result<std::optional<std::string>> stored = StoredText(partDocument, *row.element);
    if (!stored) return stored.outcome().Within(readAgain);
    if (*stored != row.expected) {
      return InvalidValue(partName + ": " + row.element->Label() + ": '" + rows.Value(row.element->row) +
                          "' does not read back as given");
    }
  }
  for (const std::string_view name : removals) {
    if (partDocument.FindChild(partNamespace, name)) return InvalidValue(partName + ": " + std::string(name) + " is not removed");
  }
  return std::optional<std::vector<std::uint8_t>>(std::move(*saved));
}

// A part the package lacks, holding nothing yet, in the namespaces of the package's family.
std::string EmptyPart(PropertyPartKind kind, bool strict) {
  const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
  const std::string types(kTypesNamespaces[strict ? 1 : 0]);
  switch (kind) {
    case PropertyPartKind::Core:
      return declaration + "<cp:coreProperties xmlns:cp=\"" + std::string(kCoreNamespace) + "\" xmlns:dc=\"" +
             std::string(kDcNamespace) + "\" xmlns:dcterms=\"" + std::string(kDctermsNamespace) +
             "\" xmlns:dcmitype=\"http://purl.org/dc/dcmitype/\" xmlns:xsi=\"" + std::string(kXsiNamespace) +
             "\"></cp:coreProperties>";
    case PropertyPartKind::Extended:
      return declaration + "<Properties xmlns=\"" + std::string(kExtendedNamespaces[strict ? 1 : 0]) + "\" xmlns:vt=\"" +
             types + "\"></Properties>";
    case PropertyPartKind::Custom: break;
  }
  return EmptyCustomPart(strict);
}

// Loads the part, or the empty part of its kind when the package has none.
Outcome LoadPartOrEmpty(zip::Package& package, xml::XmlDocument& partDocument, const std::string& part,
                        PropertyPartKind kind, bool strict) {
  if (!part.empty()) return LoadPart(package, partDocument, part);
  const std::string empty = EmptyPart(kind, strict);
  return partDocument.Load(std::span(reinterpret_cast<const std::uint8_t*>(empty.data()), empty.size()));
}

// The custom part's new bytes, or nullopt when the edits change nothing there. Leaves the part
// loaded.
Result<std::optional<std::vector<std::uint8_t>>> PlanCustomPart(xml::XmlDocument& partDocument,
                                                                const std::string& partName,
                                                                const catalogue::OtherEdits& others) {
  const Result<std::vector<catalogue::OtherProperty>> before = ReadCustomProperties(partDocument);
  if (!before) return before.outcome().Within(partName);
  const Result<bool> changed = ApplyCustomEdits(partDocument, others);
  if (!changed) return changed.outcome().Within(partName);
  if (!*changed) return std::optional<std::vector<std::uint8_t>>();
  Result<std::vector<std::uint8_t>> saved = partDocument.Save();
  if (!saved) return saved.outcome().Within(partName);

  const std::string readAgain = partName + ": the rewritten part does not read again";
  if (Outcome loaded = partDocument.Load(*saved); !loaded) return loaded.Within(readAgain);
  const Result<std::vector<catalogue::OtherProperty>> after = ReadCustomProperties(partDocument);
  if (!after) return after.outcome().Within(readAgain);
  if (*after != catalogue::CustomAfterEdits(*before, others)) {
    return InvalidValue(partName + ": the custom properties do not read back as given");
  }
  return std::optional<std::vector<std::uint8_t>>(std::move(*saved));
}

// Every part is planned in full before the caller stores anything.
Result<std::vector<PartUpdate>> PlanParts(zip::Package& package, xml::XmlDocument& partDocument,
                                          const std::string& path, const catalogue::PropertyRows& rows,
                                          const catalogue::OtherEdits& others) {
  const Result<PropertyParts> parts = LocatePropertyParts(package, partDocument, path);
  if (!parts) return parts.outcome();
  std::vector<PartUpdate> updates;
  std::vector<PropertyPartKind> added;
  std::vector<std::string_view> extendedRemovals;
  if (others.removeTemplate) extendedRemovals.push_back("Template");
  if (others.removeHyperlinkBase) extendedRemovals.push_back("HyperlinkBase");
  const struct {
    const std::string& part;
    PropertyPartKind kind;
    const PartLayout* layout;
    std::span<const std::string_view> removals;
  } planned[] = {{parts->corePart, PropertyPartKind::Core, &kCoreLayout, {}},
                 {parts->extendedPart, PropertyPartKind::Extended, &kExtendedLayout, extendedRemovals},
                 {parts->customPart, PropertyPartKind::Custom, nullptr, {}}};
  for (const auto& [part, kind, layout, removals] : planned) {
    const std::string name = part.empty() ? NewPartName(kind) : part;
    if (Outcome loaded = LoadPartOrEmpty(package, partDocument, part, kind, parts->strict); !loaded) return loaded;
    auto bytes = layout ? PlanPart(partDocument, *layout, PartNameInPackage(name), rows, removals)
                        : PlanCustomPart(partDocument, PartNameInPackage(name), others);
    if (!bytes) return bytes.outcome();
    if (!*bytes) continue;
    updates.push_back({name, std::move(**bytes)});
    if (part.empty()) added.push_back(kind);
  }
  Result<std::vector<PartUpdate>> naming = NameAddedParts(package, partDocument, *parts, added);
  if (!naming) return naming.outcome();
  std::move(naming->begin(), naming->end(), std::back_inserter(updates));
  return updates;
}

// The elements of a loaded part that are none of the rows', read-only and keyed by local name.
void AppendOtherElements(const xml::XmlDocument& partDocument, const PartLayout& layout,
                         std::vector<catalogue::OtherProperty>& others) {
  const std::vector<PropertyElement> elements = ElementsOf(partDocument, layout);
  for (const xml::XmlNode& child : partDocument.DocumentElement().Children()) {
    if (child.Kind() != xml::XmlNodeKind::Element) continue;
    const bool isRow = std::any_of(elements.begin(), elements.end(), [&child](const PropertyElement& element) {
      return child.LocalName() == element.localName && child.NamespaceUri() == element.namespaceUri;
    });
    if (!isRow) others.push_back({false, child.LocalName(), StoredTypeOf(child), std::nullopt, ReadableValue(child)});
  }
}

Result<std::vector<catalogue::OtherProperty>> ReadOthers(zip::Package& package, xml::XmlDocument& partDocument,
                                                          const std::string& path) {
  const Result<PropertyParts> parts = LocatePropertyParts(package, partDocument, path);
  if (!parts) return parts.outcome();
  std::vector<catalogue::OtherProperty> others;
  if (!parts->customPart.empty()) {
    if (Outcome loaded = LoadPart(package, partDocument, parts->customPart); !loaded) return loaded;
    Result<std::vector<catalogue::OtherProperty>> custom = ReadCustomProperties(partDocument);
    if (!custom) return custom.outcome().Within(PartNameInPackage(parts->customPart));
    others = std::move(*custom);
  }
  for (const auto& [part, layout] : {std::pair{parts->corePart, &kCoreLayout}, {parts->extendedPart, &kExtendedLayout}}) {
    if (part.empty()) continue;
    if (Outcome loaded = LoadPart(package, partDocument, part); !loaded) return loaded;
    AppendOtherElements(partDocument, *layout, others);
  }
  return others;
}

}  // namespace

Result<std::array<std::string, catalogue::kRowCount>> ReadOoxmlProperties(zip::Package& package,
                                                                          xml::XmlDocument& partDocument,
                                                                          const std::string& path) {
  auto texts = ReadTexts(package, partDocument, path);
  partDocument.Reset();  // no part is held between calls
  return texts;
}

Result<std::vector<catalogue::OtherProperty>> ReadOtherOoxmlProperties(zip::Package& package,
                                                                       xml::XmlDocument& partDocument,
                                                                       const std::string& path) {
  auto others = ReadOthers(package, partDocument, path);
  partDocument.Reset();  // no part is held between calls
  return others;
}

Result<std::vector<PartUpdate>> PlanOoxmlProperties(zip::Package& package, xml::XmlDocument& partDocument,
                                                    const std::string& path, const catalogue::PropertyRows& rows,
                                                    const catalogue::OtherEdits& others) {
  auto planned = PlanParts(package, partDocument, path, rows, others);
  partDocument.Reset();  // no part is held between calls
  return planned;
}

}  // namespace kestrel::ooxml
