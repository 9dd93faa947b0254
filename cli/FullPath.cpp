#include "cli/FullPath.h"

#include <filesystem>
#include <iterator>
#include <system_error>

namespace kestrel::cli {

std::string FullPath(const std::string& given) {
  if (given.empty()) return given;
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(given, error);
  if (error) return given;
  std::filesystem::path full;
  for (auto step = absolute.begin(); step != absolute.end(); ++step) {
    // A last "." stays: "x.doc/." names no file, and must not become "x.doc".
    if (*step != "." || std::next(step) == absolute.end()) full /= *step;
  }
  return full.string();
}

}  // namespace kestrel::cli
