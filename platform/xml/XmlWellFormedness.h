#pragma once
// The well-formedness rules pugixml lets pass and a part must still keep: XML characters only,
// declared references only, one document element, no document type, bound prefixes, no repeated
// attribute. Each check gives Damaged with the first rule broken. Nothing here throws except
// std::bad_alloc.

#include <pugixml.hpp>

#include <cstddef>
#include <string_view>

#include "platform/Outcome.h"

namespace kestrel::xml {

// Damaged at the first character XML does not allow, on text known to be valid UTF-8.
Outcome CheckXmlCharacters(std::string_view utf8);

// Limits far beyond any property part, checked on the text before it is parsed, so that a small
// hostile part cannot make the parser build millions of nodes.
inline constexpr std::size_t kMaxElements = 100'000;
inline constexpr std::size_t kMaxDepth = 100;

// Damaged when the text holds more than kMaxElements elements or nests them deeper than
// kMaxDepth. Comments, character data, processing instructions and quoted attribute values count
// for nothing.
Outcome CheckXmlShape(std::string_view xml);

// `raw` must come from parsing with parse_fragment and without parse_escapes, so that references
// and stray text at the top level are still visible.
Outcome CheckWellFormed(const pugi::xml_document& raw);

}  // namespace kestrel::xml
