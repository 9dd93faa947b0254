#pragma once
// What meta.xml stores beyond the 14 rows: its user-defined properties (meta:user-defined with
// meta:value-type string, float, date, boolean or time) as the custom properties, and the other
// elements read-only, keyed as the Office parts' elements are where they mean the same: the
// template (meta:template), the hyperlink base (the user-defined "HyperlinkBase" LibreOffice keeps
// it in), the generator ("Application") and the statistics (meta:document-statistic).
// Nothing here throws except std::bad_alloc.

#include <vector>

#include "catalogue/OtherProperties.h"
#include "odf/MetaPart.h"
#include "platform/Outcome.h"

namespace kestrel::odf {

// The custom properties in stored order, then the others. A value its type cannot read, or of the
// type "time", keeps its stored type and text, read-only.
std::vector<catalogue::OtherProperty> ReadUserDefined(const MetaPart& part);

// The custom properties alone, as ReadUserDefined gives them.
std::vector<catalogue::OtherProperty> ReadCustom(const MetaPart& part);

// Applies `edits` as catalogue::CustomAfterEdits describes them, then removes the template and
// the hyperlink base when asked: a new property is appended, a set one gets its new type and text
// in place. True when anything changed. InvalidValue for an empty name, a name or text XML cannot
// hold, or the name of a property that holds a row (category, manager, company) or the hyperlink
// base.
Result<bool> ApplyUserDefinedEdits(MetaPart& part, const catalogue::OtherEdits& edits);

}  // namespace kestrel::odf
