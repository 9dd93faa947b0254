#include "catalogue/DocumentKind.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace kestrel::catalogue {

std::string UpperExtension(std::string_view path) {
  // The extension is the text from the last dot on, if that dot is in the file name.
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  std::string extension(path.substr(dot));
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return extension;
}

DocumentKind DocumentKindOf(std::string_view path) {
  return UpperExtension(path) == ".DOCX" ? DocumentKind::Ooxml : DocumentKind::Binary;
}

}  // namespace kestrel::catalogue
