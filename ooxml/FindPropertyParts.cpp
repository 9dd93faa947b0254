#include "ooxml/FindPropertyParts.h"

#include <algorithm>
#include <array>
#include <optional>
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
constexpr const char* kRelationshipsPart = "_rels\\.rels";

bool IsOneOf(const std::optional<std::string>& type, std::span<const std::string_view> types) {
  return type && std::find(types.begin(), types.end(), *type) != types.end();
}

Outcome NotADocument(std::string message) { return Outcome::Failure(FailureKind::NotADocument, std::move(message)); }

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
    const bool extended = IsOneOf(type, kExtendedPropertiesTypes);
    const bool core = IsOneOf(type, kCorePropertiesTypes);
    if (!extended && !core) continue;
    const auto target = child.Attribute("Target");
    if (!target) return Outcome::Failure(FailureKind::Damaged, "_rels/.rels: Relationship without a Target attribute");
    (extended ? parts.extendedPart : parts.corePart) = *target;
    if (!parts.extendedPart.empty() && !parts.corePart.empty()) break;
  }
  std::replace(parts.extendedPart.begin(), parts.extendedPart.end(), '/', '\\');
  std::replace(parts.corePart.begin(), parts.corePart.end(), '/', '\\');
  if (parts.corePart.empty()) return NotADocument("_rels/.rels names no core-properties part");
  if (parts.extendedPart.empty()) return NotADocument("_rels/.rels names no extended-properties part");
  return parts;
}

}  // namespace kestrel::ooxml
