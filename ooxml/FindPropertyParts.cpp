#include "ooxml/FindPropertyParts.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>
#include <span>
#include <string_view>
#include <vector>

namespace kestrel::ooxml {

namespace {

// Transitional packages name the parts with the first type, Strict packages with the second.
// LibreOffice (to this day) names the core part with the third.
constexpr std::array<std::string_view, 2> kExtendedPropertiesTypes = {
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties",
    "http://purl.oclc.org/ooxml/officeDocument/relationships/extendedProperties"};
constexpr std::array<std::string_view, 3> kCorePropertiesTypes = {
    "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties",
    "http://purl.oclc.org/ooxml/officeDocument/relationships/metadata/core-properties",
    "http://schemas.openxmlformats.org/officedocument/2006/relationships/metadata/core-properties"};
constexpr std::array<std::string_view, 2> kCustomPropertiesTypes = {
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/custom-properties",
    "http://purl.oclc.org/ooxml/officeDocument/relationships/customProperties"};
constexpr std::string_view kStrictTypePrefix = "http://purl.oclc.org/ooxml/";
constexpr const char* kRelationshipsPart = "_rels\\.rels";
constexpr const char* kContentTypesPart = "[Content_Types].xml";

struct NewPart {
  std::string_view name;
  std::string_view transitionalType;
  std::string_view strictType;
  std::string_view contentType;
};

NewPart NewPartOf(PropertyPartKind kind) {
  switch (kind) {
    case PropertyPartKind::Core:
      return {"docProps/core.xml", kCorePropertiesTypes[0], kCorePropertiesTypes[1],
              "application/vnd.openxmlformats-package.core-properties+xml"};
    case PropertyPartKind::Extended:
      return {"docProps/app.xml", kExtendedPropertiesTypes[0], kExtendedPropertiesTypes[1],
              "application/vnd.openxmlformats-officedocument.extended-properties+xml"};
    case PropertyPartKind::Custom: break;
  }
  return {"docProps/custom.xml", kCustomPropertiesTypes[0], kCustomPropertiesTypes[1],
          "application/vnd.openxmlformats-officedocument.custom-properties+xml"};
}

bool IsOneOf(const std::optional<std::string>& type, std::span<const std::string_view> types) {
  return type && std::find(types.begin(), types.end(), *type) != types.end();
}

Outcome NotADocument(std::string message) { return Outcome::Failure(FailureKind::NotADocument, std::move(message)); }

bool SameAsciiText(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

Outcome LoadEntry(zip::Package& package, xml::XmlDocument& partDocument, const std::string& entry,
                  std::string_view shownName) {
  std::vector<std::uint8_t> bytes;
  if (const Result<int> extracted = package.ExtractToMemory(&bytes, entry); !extracted) return extracted.outcome();
  if (bytes.empty()) return NotADocument(std::string(shownName) + " is missing or empty");
  return partDocument.Load(bytes).Within(std::string(shownName));
}

// The first "rId<n>" no relationship of the part uses.
std::string FreshRelationshipId(const xml::XmlDocument& relationships) {
  std::vector<std::string> used;
  for (const xml::XmlNode& child : relationships.DocumentElement().Children()) {
    if (auto id = child.Attribute("Id")) used.push_back(std::move(*id));
  }
  for (std::size_t n = 1;; ++n) {
    std::string id = "rId" + std::to_string(n);
    if (std::find(used.begin(), used.end(), id) == used.end()) return id;
  }
}

// Appends one element with the attributes to the loaded part's document element, in its namespace.
Outcome AppendNaming(xml::XmlDocument& partDocument, std::string_view localName,
                     std::span<const std::pair<std::string_view, std::string>> attributes) {
  Result<xml::XmlNode> added = partDocument.AppendChild(partDocument.DocumentElement().NamespaceUri(), localName, "");
  if (!added) return added.outcome();
  for (const auto& [name, value] : attributes) {
    if (Outcome set = added->SetAttribute(name, value); !set) return set;
  }
  return Outcome::Success();
}

// The part saved, and read again as a check that it still holds together.
Result<std::vector<std::uint8_t>> SaveChecked(xml::XmlDocument& partDocument, std::string_view shownName) {
  Result<std::vector<std::uint8_t>> saved = partDocument.Save();
  if (!saved) return saved.outcome().Within(std::string(shownName));
  if (Outcome loaded = partDocument.Load(*saved); !loaded) {
    return Outcome::Failure(FailureKind::InvalidValue, std::string(shownName) + ": the rewritten part does not read again: " +
                                                           loaded.message());
  }
  return saved;
}

}  // namespace

Result<PropertyParts> LocatePropertyParts(zip::Package& package, xml::XmlDocument& partDocument,
                                          const std::string& path) {
  package.SetRelativePaths(true);
  package.SetZipName(path);
  if (const Outcome opened = package.OpenArchive(); !opened) {
    if (opened.kind() == FailureKind::NotADocument) return opened.Within("not a ZIP package");
    return opened;
  }
  // The scan is case-sensitive, though the extract itself would match any case.
  bool found = false;
  for (int i = 0; i < package.EntryCount() && !found; ++i) {
    const Result<std::string> name = package.EntryFileName(i);
    const Result<std::string> folder = package.EntryPathName(i);
    found = name && folder && *name == ".rels" && *folder == "_rels\\";
  }
  if (!found) return NotADocument("the package has no _rels/.rels");
  std::vector<std::uint8_t> stream;
  if (const Result<int> extracted = package.ExtractToMemory(&stream, kRelationshipsPart); !extracted) {
    return extracted.outcome();
  }
  if (stream.empty()) return NotADocument("_rels/.rels is empty");
  if (Outcome loaded = partDocument.Load(stream); !loaded) return loaded.Within("_rels/.rels");

  PropertyParts parts;
  for (const xml::XmlNode& child : partDocument.DocumentElement().Children()) {
    if (child.Name() != "Relationship") continue;
    const auto type = child.Attribute("Type");
    if (type && type->starts_with(kStrictTypePrefix)) parts.strict = true;
    std::string* part = IsOneOf(type, kExtendedPropertiesTypes) ? &parts.extendedPart
                        : IsOneOf(type, kCorePropertiesTypes)   ? &parts.corePart
                        : IsOneOf(type, kCustomPropertiesTypes) ? &parts.customPart
                                                                : nullptr;
    if (part == nullptr || !part->empty()) continue;  // the first relationship of a type names the part
    const auto target = child.Attribute("Target");
    if (!target) return Outcome::Failure(FailureKind::Damaged, "_rels/.rels: Relationship without a Target attribute");
    // Targets of the package's own relationships are relative to its root; "/" names the root too.
    *part = target->starts_with('/') ? target->substr(1) : *target;
    std::replace(part->begin(), part->end(), '/', '\\');
  }
  return parts;
}

std::string NewPartName(PropertyPartKind kind) {
  std::string name(NewPartOf(kind).name);
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

Result<std::vector<PartUpdate>> NameAddedParts(zip::Package& package, xml::XmlDocument& partDocument,
                                               const PropertyParts& parts, std::span<const PropertyPartKind> added) {
  std::vector<PartUpdate> updates;
  if (added.empty()) return updates;

  if (Outcome loaded = LoadEntry(package, partDocument, kRelationshipsPart, "_rels/.rels"); !loaded) return loaded;
  for (const PropertyPartKind kind : added) {
    const NewPart part = NewPartOf(kind);
    const std::pair<std::string_view, std::string> attributes[] = {
        {"Id", FreshRelationshipId(partDocument)},
        {"Type", std::string(parts.strict ? part.strictType : part.transitionalType)},
        {"Target", std::string(part.name)}};
    if (Outcome named = AppendNaming(partDocument, "Relationship", attributes); !named) return named.Within("_rels/.rels");
  }
  Result<std::vector<std::uint8_t>> relationships = SaveChecked(partDocument, "_rels/.rels");
  if (!relationships) return relationships.outcome();
  updates.push_back({kRelationshipsPart, std::move(*relationships)});

  if (Outcome loaded = LoadEntry(package, partDocument, kContentTypesPart, kContentTypesPart); !loaded) return loaded;
  for (const PropertyPartKind kind : added) {
    const NewPart part = NewPartOf(kind);
    std::string partName(1, '/');
    partName += part.name;
    // An Override left behind for a part that is gone is made right rather than doubled.
    bool overridden = false;
    for (xml::XmlNode child : partDocument.DocumentElement().Children()) {
      const auto named = child.Attribute("PartName");
      if (child.LocalName() != "Override" || !named || !SameAsciiText(*named, partName)) continue;
      if (Outcome set = child.SetAttribute("ContentType", part.contentType); !set) return set.Within(kContentTypesPart);
      overridden = true;
    }
    if (overridden) continue;
    const std::pair<std::string_view, std::string> attributes[] = {{"PartName", partName},
                                                                   {"ContentType", std::string(part.contentType)}};
    if (Outcome named = AppendNaming(partDocument, "Override", attributes); !named) return named.Within(kContentTypesPart);
  }
  Result<std::vector<std::uint8_t>> contentTypes = SaveChecked(partDocument, kContentTypesPart);
  if (!contentTypes) return contentTypes.outcome();
  updates.push_back({kContentTypesPart, std::move(*contentTypes)});
  return updates;
}

}  // namespace kestrel::ooxml
