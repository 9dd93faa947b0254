#include "cli/FullPath.h"

#include <filesystem>
#include <iterator>
#include <optional>
#include <system_error>

namespace kestrel::cli {

std::string FullPath(const std::string& given) {
  if (given.empty()) return given;
  // The companion never changes its working folder: it is asked for once, not for every file.
  static const std::optional<std::filesystem::path> workingFolder = []() -> std::optional<std::filesystem::path> {
    std::error_code error;
    std::filesystem::path folder = std::filesystem::current_path(error);
    if (error) return std::nullopt;
    return folder;
  }();
  const std::filesystem::path named(given);
  if (!named.is_absolute() && !workingFolder) return given;
  const std::filesystem::path absolute = named.is_absolute() ? named : *workingFolder / named;
  std::filesystem::path full;
  for (auto step = absolute.begin(); step != absolute.end(); ++step) {
    // A last "." stays: "x.doc/." names no file, and must not become "x.doc".
    if (*step != "." || std::next(step) == absolute.end()) full /= *step;
  }
  return full.string();
}

}  // namespace kestrel::cli
