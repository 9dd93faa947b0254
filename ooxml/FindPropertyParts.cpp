#include "ooxml/FindPropertyParts.h"

#include <algorithm>
#include <array>
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

// The search itself: throws the ZIP component's errors from opening and extracting.
Result<PropertyParts> Locate(zip::Package& package, xml::XmlDocument& partDocument, const std::string& path) {
  package.SetRelativePaths(true);
  package.SetZipName(path);
  package.OpenArchive();
  // The scan is case-sensitive, though the extract itself would match any case.
  bool found = false;
  for (int i = 0; i < package.EntryCount() && !found; ++i) {
    found = package.EntryFileName(i) == ".rels" && package.EntryPathName(i) == "_rels\\";
  }
  if (!found) return NotADocument("the package has no _rels/.rels");
  std::vector<std::uint8_t> stream;
  package.ExtractToMemory(&stream, kRelationshipsPart);
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

}  // namespace

Result<PropertyParts> LocatePropertyParts(zip::Package& package, xml::XmlDocument& partDocument,
                                          const std::string& path) {
  try {
    return Locate(package, partDocument, path);
  } catch (const zip::NotAZipFile& error) {
    return NotADocument(std::string("not a ZIP package: ") + error.what());
  } catch (const zip::DamagedZipFile& error) {
    return NotADocument(std::string("not a ZIP package: ") + error.what());
  } catch (const zip::UnsupportedMethod& error) {
    return Outcome::Failure(FailureKind::Unsupported, error.what());
  } catch (const zip::ReadError& error) {
    return Outcome::Failure(FailureKind::Io, error.what());
  } catch (const std::exception& error) {
    return Outcome::Failure(FailureKind::Damaged, error.what());
  }
}

}  // namespace kestrel::ooxml
