#pragma once
// The 14 catalogue properties of a package (Word, Excel or PowerPoint, transitional or Strict): ten
// in the core-properties part, three in the extended-properties part, the dates stored in UTC.
// Elements are found by namespace and local name, whatever prefix (or default namespace) a
// producer wrote them with; the extended part's elements in the namespace the part is written in.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/OtherProperties.h"
#include "catalogue/PropertyRows.h"
#include "ooxml/FindPropertyParts.h"
#include "ooxml/zip/PackageZip.h"
#include "platform/Outcome.h"
#include "platform/xml/XmlDocument.h"

namespace kestrel::ooxml {

// The 14 texts in catalogue order; the rows of a part the package does not have are empty. Dates show in local time (see OoxmlDates.h); a stored date
// that cannot be read shows empty. The package is never changed. Never throws. Failures, from the
// layer that found them: NotADocument (no ZIP package, no _rels/.rels, a part named there
// missing or empty), Damaged (a part or _rels/.rels that is not well-formed or cannot be
// extracted, naming it), Unsupported (an element holding more than text, a part compressed by a
// method we do not decode), and the failures of opening or reading the package.
Result<std::array<std::string, catalogue::kRowCount>> ReadOoxmlProperties(zip::Package& package,
                                                                          xml::XmlDocument& partDocument,
                                                                          const std::string& path);

// What the package stores beyond the rows: the custom properties in stored order, then the other
// elements of the core part, then those of the extended part (keyed by local name, read-only).
// Fails as ReadOoxmlProperties does, and Unsupported for a custom part of another kind.
Result<std::vector<catalogue::OtherProperty>> ReadOtherOoxmlProperties(zip::Package& package,
                                                                       xml::XmlDocument& partDocument,
                                                                       const std::string& path);

// A change of the included rows and the other edits, made in memory: every part is read and
// parsed, every included row and edit applied, the parts saved, the saved bytes parsed again and
// every included row, the custom list (as catalogue::CustomAfterEdits gives it) and the removed
// template and hyperlink base read back as the reading reads them. A part the package lacks is
// made when a value must go into it, and named in _rels/.rels and [Content_Types].xml. Gives the
// parts that change (none when everything already holds its value); writes nothing. Row by row:
// - a text is stored as given; an empty editing time removes TotalTime, and an empty value adds
//   no element where there is none;
// - a date is given as date-time text and stored in UTC; a stored date that shows as the given
//   text stays as stored (its offset and fraction too); an empty value keeps a stored date that
//   cannot be read, and otherwise empties the created or modified date and removes the printed
//   date;
// - a new element is made in its namespace, with the prefix the part binds to it or a prefix
//   declared on the document element; new created and modified dates get xsi:type.
// Never throws. Failures: those of the reading above, and Unsupported (a document element of
// another kind), InvalidValue (a value XML or the part's encoding cannot hold, a date that is not
// date-time text, a value that would not read back as given); each message names the part and
// the element.
Result<std::vector<PartUpdate>> PlanOoxmlProperties(zip::Package& package, xml::XmlDocument& partDocument,
                                                    const std::string& path, const catalogue::PropertyRows& rows,
                                                    const catalogue::OtherEdits& others = {});

}  // namespace kestrel::ooxml
