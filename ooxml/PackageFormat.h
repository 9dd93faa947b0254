#pragma once
// Where one family of packages keeps its properties and how they are read and planned: the Office
// property parts, or an OpenDocument package's meta.xml. A package document answers through one,
// with the ZIP component and the XML document it is lent; the format holds no state of its own.
// Failures are answers: nothing here throws except std::bad_alloc.

#include <string>
#include <vector>

#include "catalogue/OtherProperties.h"
#include "catalogue/PropertyDocument.h"
#include "catalogue/PropertyRows.h"
#include "ooxml/FindPropertyParts.h"
#include "ooxml/zip/PackageZip.h"
#include "platform/Outcome.h"
#include "platform/xml/XmlDocument.h"

namespace kestrel::ooxml {

class PackageFormat {
 public:
  virtual ~PackageFormat() = default;

  // The 14 texts in catalogue order. The package is never changed.
  virtual Result<catalogue::PropertyTexts> ReadRows(zip::Package& package, xml::XmlDocument& part,
                                                    const std::string& path) const = 0;
  // What the package stores beyond the rows, custom properties first. The package is never changed.
  virtual Result<std::vector<catalogue::OtherProperty>> ReadOthers(zip::Package& package, xml::XmlDocument& part,
                                                                   const std::string& path) const = 0;
  // The entries a change would store, planned and read back in memory; none when everything
  // already holds its value. Writes nothing.
  virtual Result<std::vector<PartUpdate>> Plan(zip::Package& package, xml::XmlDocument& part, const std::string& path,
                                               const catalogue::PropertyRows& rows,
                                               const catalogue::OtherEdits& others) const = 0;
};

// The Office packages: core, extended and custom property parts (OoxmlProperties.h).
const PackageFormat& OfficePackageFormat();

}  // namespace kestrel::ooxml
