#pragma once
// Where a package keeps its two property parts, as its relationships part (_rels/.rels) names them
// with the relationship types of transitional or of Strict packages.

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

// The parts the package's relationships name. NotADocument when the file is no ZIP package or its
// relationships name no property parts, Damaged when they cannot be read, and the failures of
// opening or reading the package. On return `package` has the package's directory loaded and
// `partDocument` holds the relationships part. Never throws.
Result<PropertyParts> LocatePropertyParts(zip::Package& package, xml::XmlDocument& partDocument,
                                          const std::string& path);

}  // namespace kestrel::ooxml
