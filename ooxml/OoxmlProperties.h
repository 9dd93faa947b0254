#pragma once
// The 14 catalogue properties of a .docx package: ten in the core-properties part, three in the
// extended-properties part, the dates stored in UTC.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "catalogue/PropertyRows.h"
#include "ooxml/zip/PackageZip.h"
#include "platform/xml/XmlDocument.h"

namespace kestrel::ooxml {

// The 14 texts in catalogue order, or nullopt when the package cannot be opened, lacks either
// property part or holds it empty. Throws xml::XmlError for a part that is not well-formed or an
// element that does not hold plain text, and the ZIP component's errors for a part it cannot
// extract. The package is never changed.
std::optional<std::array<std::string, catalogue::kRowCount>> ReadOoxmlProperties(zip::TPackageZip& myzip,
                                                                                 xml::XmlDocument& axml,
                                                                                 const std::string& path);

// Writes the included rows into both parts and stores both back, each store rewriting the
// package. False when the package cannot be opened or a part is missing or empty (the extended
// part may already be stored when the core part is the missing one). Throws as the reading does,
// and the ZIP component's errors when the package cannot be rewritten.
bool WriteOoxmlProperties(zip::TPackageZip& myzip, xml::XmlDocument& axml, const std::string& path,
                          const catalogue::PropertyRows& rows);

// Gives the first child of the document element with this name the value as its text, or
// appends such a child when there is none (left out when its prefix is bound to no namespace).
// An empty "cp:lastPrinted" or "TotalTime" removes the element instead.
void UpdatePropertyElement(xml::XmlDocument& axml, std::string_view name, const std::string& value);

}  // namespace kestrel::ooxml
