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
#include "platform/text/CodePage.h"

namespace kestrel::csv {
namespace {

using catalogue::Catalogue;

// Bytes of the UTF-8 character at `at`: as many as its lead byte announces and actually follow,
// so that a broken sequence costs one "?" and never swallows the characters after it.
std::size_t CharacterLength(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t expected = 1;
  if (lead >= 0xF0 && lead <= 0xF7) {
    expected = 4;
  } else if (lead >= 0xE0) {
    expected = lead <= 0xEF ? 3 : 1;
  } else if (lead >= 0xC0) {
    expected = 2;
  }
  std::size_t length = 1;
  while (length < expected && at + length < text.size() &&
         (static_cast<unsigned char>(text[at + length]) & 0xC0) == 0x80) {
    ++length;
  }
  return length;
}

// Code page 932 text with "?" for each character the code page cannot hold.
std::string ToShiftJisLossy(std::string_view utf8) {
  if (std::optional<std::string> whole = text::FromUtf8(utf8, text::kCodePageShiftJis)) return *whole;
  std::string bytes;
  for (std::size_t at = 0; at < utf8.size();) {
    const std::size_t length = CharacterLength(utf8, at);
    const std::optional<std::string> one = text::FromUtf8(utf8.substr(at, length), text::kCodePageShiftJis);
    bytes += one ? *one : "?";
    at += length;
  }
  return bytes;
}

}  // namespace

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
  line += value;
  line += last ? "\"" : "\",";
}

std::string CsvFileName(std::string_view fullPath) {
  const std::size_t separator = fullPath.find_last_of("/\\:");
  return std::string(separator == std::string_view::npos ? fullPath : fullPath.substr(separator + 1));
}

bool WriteCsvLines(const std::string& requestedPath, const std::vector<std::string>& lines) {
  if (requestedPath.empty() || requestedPath.back() == '/') return false;
  // Through symbolic links to the file they name, so that a link stays a link.
  std::error_code error;
  std::string path = std::filesystem::weakly_canonical(requestedPath, error).string();
  if (error || path.empty()) path = requestedPath;
  struct stat target {};
  const bool exists = ::stat(path.c_str(), &target) == 0;
  // Only a regular file may be replaced: never a folder or a device.
  if (exists && !S_ISREG(target.st_mode)) return false;
  if (!exists && errno != ENOENT) return false;
  // What the user's system would refuse to write is not replaced behind its back: a read-only
  // file, or one another program has open and would later save over the export.
  if (exists) {
    const std::optional<fs::FileRecord> record = fs::ReadFileRecord(path);
    if (!record || (record->attributes & fs::kAttributeReadOnly) != 0 || fs::HeldOpenByAnotherProgram(path)) {
      return false;
    }
  }

  fs::ReplacementFile replacement(path, ".kestrel-csv-");
  if (!replacement.Valid()) return false;
  {
    const fs::OpenResult opened = fs::OpenFile(replacement.Path(), fs::OpenMode::ReadWrite);
    if (!opened.file) return false;
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
      piece += ToShiftJisLossy(line);
      piece += "\r\n";
      if (piece.size() >= kPiece && !flush()) return false;
    }
    if (!flush() || !opened.file->Sync()) return false;
  }
  return replacement.Commit();
}

}  // namespace kestrel::csv
