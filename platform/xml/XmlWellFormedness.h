#pragma once
// The well-formedness rules pugixml lets pass and a part must still keep: XML characters only,
// declared references only, one document element, no document type, bound prefixes, no repeated
// attribute.

#include <pugixml.hpp>

#include <string_view>

namespace kestrel::xml {

// Throws XmlError at the first character XML does not allow, on text known to be valid UTF-8.
void CheckXmlCharacters(std::string_view utf8);

// `raw` must come from parsing with parse_fragment and without parse_escapes, so that references
// and stray text at the top level are still visible. Throws XmlError.
void CheckWellFormed(const pugi::xml_document& raw);

}  // namespace kestrel::xml
