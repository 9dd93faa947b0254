#pragma once
// Where a package keeps its two property parts, as its relationships part (_rels/.rels) names them
// with the relationship types of transitional or of Strict packages.

#include <optional>
#include <string>

#include "ooxml/zip/PackageZip.h"
#include "platform/Outcome.h"
#include "platform/xml/XmlDocument.h"

namespace kestrel::ooxml {

// Part names with "\" as separator, as the ZIP component's extract and replace take them.
struct PropertyParts {
  std::string extendedPart;
  std::string corePart;
};

// nullopt when the package cannot be opened, has no (or an empty) _rels/.rels, or lacks either
// relationship or its target. On return `package` has the package's directory loaded and
// `partDocument` holds the relationships part. Throws xml::XmlError when the relationships part
// is not well-formed or a matching relationship has no Target, and the ZIP component's errors
// when it cannot be extracted.
std::optional<PropertyParts> FindPropertyParts(zip::Package& package, xml::XmlDocument& partDocument,
                                               const std::string& path);

// The same search, never throwing: NotADocument when the file is no ZIP package or its
// relationships name no property parts, Damaged when they cannot be read, Io when the file
// cannot be opened. Leaves `package` and `partDocument` as FindPropertyParts does.
Result<PropertyParts> LocatePropertyParts(zip::Package& package, xml::XmlDocument& partDocument,
                                          const std::string& path);

}  // namespace kestrel::ooxml
