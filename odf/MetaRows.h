#pragma once
// The 14 rows in meta.xml. Eleven have an element of their own; category, manager and company,
// which OpenDocument has no element for, are the user-defined properties LibreOffice makes of them
// when it converts an Office document: "OOXMLCorePropertyCategory", "Manager" and "Company".
// Nothing here throws except std::bad_alloc.

#include <string_view>

#include "catalogue/PropertyDocument.h"
#include "catalogue/PropertyRows.h"
#include "odf/MetaPart.h"
#include "platform/Outcome.h"

namespace kestrel::odf {

// The user-defined property that holds a row, or empty for a row with an element of its own.
std::string_view RowPropertyName(int row);
// Whether a user-defined property of this name is one of the rows (or the hyperlink base), which
// the custom list leaves out.
bool HoldsRowOrOther(std::string_view userDefinedName);

// The 14 texts in catalogue order, empty for what the part does not hold: the keywords joined by
// ", " as LibreOffice shows them; dates as StoredDateText; the editing time in whole minutes; a
// date or duration that cannot be read shows empty. Unsupported for an element holding more than
// text.
Result<catalogue::PropertyTexts> ReadMetaRows(const MetaPart& part);

// What each included row must show after the change, from the values asked for: keywords split
// at commas, blanks around each dropped; dates as date-time text; the editing time and the
// revision number as whole numbers. InvalidValue for a value XML cannot hold, a date that is not
// date-time text, a revision number or editing time that is not a whole number of 0 or more.
Result<catalogue::PropertyTexts> WantedRows(const catalogue::PropertyRows& rows);

// Stores each included row whose shown text differs from `wanted`: an empty one removes its
// element (every copy), another replaces them by one element (one per keyword). True when
// anything changed.
Result<bool> ApplyMetaRows(MetaPart& part, const catalogue::PropertyRows& rows, const catalogue::PropertyTexts& wanted);

}  // namespace kestrel::odf
