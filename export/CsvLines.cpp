#include "export/CsvLines.h"

#include <cstddef>
#include <optional>

#include "catalogue/PropertyCatalogue.h"
#include "export/JsonText.h"
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

Result<std::size_t> WriteCsvLines(const std::string& path, const std::vector<std::string>& lines,
                                  CsvEncoding encoding) {
  if (path.empty() || path.back() == '/') return Outcome::Failure(FailureKind::NotFound, "names no file");
  // What the user's system would refuse to write is not replaced behind its back: a read-only
  // file, or one another program has open and would later save over the export. Only a regular
  // file may be replaced: never a folder or a device.
  const std::optional<fs::FileRecord> record = fs::ReadFileRecord(path);
  if (!record && !fs::NothingAt(path)) return fs::DescribeUnrecordedFile(path);
  if (record && (record->attributes & fs::kAttributeReadOnly) != 0) return Outcome::Failure(FailureKind::ReadOnly, "read-only");
  if (record && fs::HeldOpenByAnotherProgram(path)) return Outcome::Failure(FailureKind::HeldOpen, "held open by another program");

  fs::ReplacementFile replacement(path, ".kestrel-csv-");
  if (!replacement.Valid()) return Outcome::Failure(FailureKind::Io, replacement.Error());
  std::size_t replaced = 0;
  {
    const fs::OpenResult opened = fs::OpenFile(replacement.Path(), fs::OpenMode::ReadWrite);
    if (!opened.file) return fs::DescribeOpenError(opened);
    // Converted and written a piece at a time: the lines are already held once, the file's bytes
    // need not be held a second time.
    constexpr std::size_t kPiece = 1 << 16;
    std::string piece = encoding == CsvEncoding::Utf8 ? "\xEF\xBB\xBF" : "";
    std::uint64_t offset = 0;
    auto flush = [&] {
      Outcome written = opened.file->WriteAt(offset, piece.data(), piece.size());
      offset += piece.size();
      piece.clear();
      return written;
    };
    for (const std::string& line : lines) {
      if (encoding == CsvEncoding::Utf8) {
        json::AppendValidUtf8(piece, line);
      } else {
        replaced += text::AppendShiftJisBestFit(piece, line);
      }
      piece += "\r\n";
      if (piece.size() < kPiece) continue;
      if (Outcome written = flush(); !written) return written;
    }
    Outcome written = flush();
    if (written) written = opened.file->Sync();
    if (!written) return written;
  }
  if (Outcome committed = replacement.Commit(); !committed) return committed;
  return replaced;
}

}  // namespace kestrel::csv
