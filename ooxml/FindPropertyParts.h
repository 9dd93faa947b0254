#pragma once
// Where a package keeps its property parts, as its relationships part (_rels/.rels) names them
// with the relationship types of transitional or of Strict packages, and how a part the package
// lacks is named there and in [Content_Types].xml when a change adds it.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ooxml/zip/PackageZip.h"
#include "platform/Outcome.h"
#include "platform/xml/XmlDocument.h"

namespace kestrel::ooxml {

// Part names with "\" as separator, as the ZIP component's extract and replace take them; empty
// for a part the package does not have (every one of them is optional).
struct PropertyParts {
  std::string extendedPart;
  std::string corePart;
  std::string customPart;
  bool strict = false;  // the package names its parts with the Strict relationship types
};

// The new bytes of one part; `name` as the ZIP component's extract and replace take it
// ("docProps\core.xml").
struct PartUpdate {
  std::string name;
  std::vector<std::uint8_t> bytes;
};

enum class PropertyPartKind { Core, Extended, Custom };

// Where a new part of the kind is stored ("docProps\app.xml").
std::string NewPartName(PropertyPartKind kind);

// The parts the package's relationships name. NotADocument when the file is no ZIP package or has
// no _rels/.rels, Damaged when that cannot be read, and the failures of opening or reading the
// package. On return `package` has the package's directory loaded and `partDocument` holds the
// relationships part. Never throws.
Result<PropertyParts> LocatePropertyParts(zip::Package& package, xml::XmlDocument& partDocument,
                                          const std::string& path);

// The new _rels/.rels and [Content_Types].xml of a package that gets the `added` parts (stored
// under NewPartName): a relationship of the type family the package uses, with an Id no other
// relationship has, and an Override for each, appended; nothing else of either part changes.
// Damaged or NotADocument when either part cannot be read; InvalidValue when a saved part would
// not read again. Needs the package's directory loaded. Never throws.
Result<std::vector<PartUpdate>> NameAddedParts(zip::Package& package, xml::XmlDocument& partDocument,
                                               const PropertyParts& parts, std::span<const PropertyPartKind> added);

}  // namespace kestrel::ooxml
