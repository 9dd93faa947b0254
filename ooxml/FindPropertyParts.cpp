#include "ooxml/FindPropertyParts.h"

#include "platform/xml/XmlError.h"

#include <algorithm>
#include <vector>

namespace kestrel::ooxml {

namespace {

constexpr const char* kExtendedPropertiesType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties";
constexpr const char* kCorePropertiesType =
    "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties";

std::string Target(const xml::XmlNode& relationship) {
  auto target = relationship.Attribute("Target");
  if (!target) throw xml::XmlError("Relationship without a Target attribute");
  return *target;
}

}  // namespace

std::optional<PropertyParts> FindPropertyParts(zip::TPackageZip& myzip, xml::XmlDocument& axml,
                                               const std::string& path) {
  myzip.SetRelativePaths(true);
  myzip.SetZipName(path);
  try {
    myzip.OpenArchive();
  } catch (const std::exception&) {
    return std::nullopt;
  }
  // The scan is case-sensitive, though the extract itself would match any case.
  bool found = false;
  for (int i = 0; i < myzip.EntryCount() && !found; ++i) {
    found = myzip.EntryFileName(i) == ".rels" && myzip.EntryPathName(i) == "_rels\\";
  }
  if (!found) return std::nullopt;
  std::vector<std::uint8_t> stream;
  myzip.ExtractToMemory(&stream, "_rels\\.rels");
  if (stream.empty()) return std::nullopt;
  axml.Reset();
  axml.Load(stream);

  PropertyParts parts;
  for (const xml::XmlNode& child : axml.DocumentElement().Children()) {
    if (child.Name() != "Relationship") continue;
    const auto type = child.Attribute("Type");
    if (type == kExtendedPropertiesType) parts.extendedPart = Target(child);
    if (type == kCorePropertiesType) parts.corePart = Target(child);
    if (!parts.extendedPart.empty() && !parts.corePart.empty()) break;
  }
  std::replace(parts.extendedPart.begin(), parts.extendedPart.end(), '/', '\\');
  std::replace(parts.corePart.begin(), parts.corePart.end(), '/', '\\');
  if (parts.extendedPart.empty() || parts.corePart.empty()) return std::nullopt;
  return parts;
}

}  // namespace kestrel::ooxml
