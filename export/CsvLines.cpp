#include "export/CsvLines.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <optional>

#include "catalogue/PropertyCatalogue.h"
#include "platform/fs/FileIo.h"
#include "platform/fs/FileState.h"
#include "platform/fs/HeldOpen.h"
#include "platform/fs/ReplacementFile.h"
#include "platform/text/ShiftJisBestFit.h"

namespace kestrel::csv {

using catalogue::Catalogue;

std::string CsvHeaderLine() {
  std::string line;
  AppendField(line, "File full name", false);
  AppendField(line, "File Name", false);
  for (const catalogue::CatalogueRow& row : Catalogue().Rows()) AppendField(line, row.caption, false);
  for (int i = 0; i < catalogue::kLabelCount; ++i) {
    AppendField(line, Catalogue().Label(i), i + 1 == catalogue::kLabelCount);
  }
  return line;
}

void AppendField(std::string& line, std::string_view value, bool last) {
  line += '"';
  for (const char c : value) {
    if (c == '"') line += '"';
    line += c;
  }
  line += last ? "\"" : "\",";
}

std::string CsvFileName(std::string_view fullPath) {
  const std::size_t separator = fullPath.find_last_of("/\\:");
  return std::string(separator == std::string_view::npos ? fullPath : fullPath.substr(separator + 1));
}

std::optional<std::size_t> WriteCsvLines(const std::string& requestedPath, const std::vector<std::string>& lines) {
  if (requestedPath.empty() || requestedPath.back() == '/') return std::nullopt;
  // Through symbolic links to the file they name, so that a link stays a link.
  std::error_code error;
  std::string path = std::filesystem::weakly_canonical(requestedPath, error).string();
  if (error || path.empty()) path = requestedPath;
  struct stat target {};
  const bool exists = ::stat(path.c_str(), &target) == 0;
  // Only a regular file may be replaced: never a folder or a device.
  if (exists && !S_ISREG(target.st_mode)) return std::nullopt;
  if (!exists && errno != ENOENT) return std::nullopt;
  // What the user's system would refuse to write is not replaced behind its back: a read-only
  // file, or one another program has open and would later save over the export.
  if (exists) {
    const std::optional<fs::FileRecord> record = fs::ReadFileRecord(path);
    if (!record || (record->attributes & fs::kAttributeReadOnly) != 0 || fs::HeldOpenByAnotherProgram(path)) {
      return std::nullopt;
    }
  }

  fs::ReplacementFile replacement(path, ".kestrel-csv-");
  if (!replacement.Valid()) return std::nullopt;
  std::size_t replaced = 0;
  {
    const fs::OpenResult opened = fs::OpenFile(replacement.Path(), fs::OpenMode::ReadWrite);
    if (!opened.file) return std::nullopt;
    // Converted and written a piece at a time: the lines are already held once, the file's bytes
    // need not be held a second time.
    constexpr std::size_t kPiece = 1 << 16;
    std::string piece;
    std::uint64_t offset = 0;
    auto flush = [&] {
      const bool written = opened.file->WriteAt(offset, piece.data(), piece.size());
      offset += piece.size();
      piece.clear();
      return written;
    };
    for (const std::string& line : lines) {
      replaced += text::AppendShiftJisBestFit(piece, line);
      piece += "\r\n";
      if (piece.size() >= kPiece && !flush()) return std::nullopt;
    }
    if (!flush() || !opened.file->Sync()) return std::nullopt;
  }
  if (!replacement.Commit()) return std::nullopt;
  return replaced;
}

}  // namespace kestrel::csv
