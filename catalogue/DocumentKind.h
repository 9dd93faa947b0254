#pragma once
// Which kind of document a file is, told by its name's extension alone: an OOXML package when
// the upper-cased extension is exactly ".DOCX", a binary Word document otherwise.
// Nothing here throws except std::bad_alloc.

#include <string>
#include <string_view>

namespace kestrel::catalogue {

enum class DocumentKind {
  Binary,
  Ooxml,
};

DocumentKind DocumentKindOf(std::string_view path);

// The file name's text from its last dot on, upper-cased (".DOCX"); empty when the name has none.
std::string UpperExtension(std::string_view path);

}  // namespace kestrel::catalogue
