#include "sheet/SheetFile.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "catalogue/PropertyCatalogue.h"
#include "platform/fs/FileIo.h"
#include "platform/text/CodePage.h"

namespace kestrel::sheet {
namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
// Far beyond any sheet of documents a spreadsheet holds; a larger file is not read into memory.
constexpr std::uint64_t kMaxSheetBytes = std::uint64_t{256} << 20;

struct Record {
  std::size_t number = 0;
  std::vector<std::string> fields;
};

// Consumes one line end at `at` (CR LF, LF or CR); false when there is none.
bool SkipLineEnd(std::string_view text, std::size_t& at) {
  if (at >= text.size()) return false;
  if (text[at] == '\r') {
    ++at;
    if (at < text.size() && text[at] == '\n') ++at;
    return true;
  }
  if (text[at] == '\n') {
    ++at;
    return true;
  }
  return false;
}

// The records as spreadsheets and Python's csv module read them: text after a closing quote is
// kept as it stands, a quote inside an unquoted field is an ordinary character.
Result<std::vector<Record>> SplitRecords(std::string_view text) {
  std::vector<Record> records;
  std::size_t line = 1;
  std::size_t at = 0;
  while (at < text.size()) {
    Record record{line, {}};
    while (true) {
      std::string field;
      if (at < text.size() && text[at] == '"') {
        ++at;
        while (true) {
          if (at >= text.size()) {
            return Outcome::Failure(FailureKind::Damaged, "line " + std::to_string(record.number) +
                                                              ": a quoted field is not closed");
          }
          const char c = text[at];
          const bool doubledQuote = c == '"' && at + 1 < text.size() && text[at + 1] == '"';
          if (c == '"' && !doubledQuote) {
            ++at;
            break;
          }
          const bool lineBreak = c == '\n' || (c == '\r' && !(at + 1 < text.size() && text[at + 1] == '\n'));
          if (lineBreak) ++line;
          field += c;
          at += doubledQuote ? 2 : 1;
        }
      }
      while (at < text.size() && text[at] != ',' && text[at] != '\r' && text[at] != '\n') field += text[at++];
      record.fields.push_back(std::move(field));
      if (at < text.size() && text[at] == ',') {
        ++at;
        continue;
      }
      break;
    }
    if (SkipLineEnd(text, at)) ++line;
    records.push_back(std::move(record));
  }
  return records;
}

bool Blank(const Record& record) {
  return std::all_of(record.fields.begin(), record.fields.end(), [](const std::string& f) { return f.empty(); });
}

Result<std::string> DecodedText(std::string_view bytes, bool& codePage932) {
  codePage932 = false;
  if (bytes.starts_with(kUtf8ByteOrderMark)) {
    bytes.remove_prefix(kUtf8ByteOrderMark.size());
    if (!text::IsValidUtf8(bytes)) return Outcome::Failure(FailureKind::Damaged, "not UTF-8 after its byte-order mark");
    return std::string(bytes);
  }
  if (text::IsValidUtf8(bytes)) return std::string(bytes);
  std::optional<std::string> decoded = text::ToUtf8(bytes, text::kCodePageShiftJis);
  if (!decoded) return Outcome::Failure(FailureKind::Damaged, "neither UTF-8 nor Shift-JIS (code page 932) text");
  codePage932 = true;
  return std::move(*decoded);
}

std::string Quoted(std::string_view name) {
  std::string quoted = "\"";
  quoted += name;
  quoted += '"';
  return quoted;
}

}  // namespace

std::string_view ColumnName(int column) {
  if (column == kFullNameColumn) return "File full name";
  if (column == kFileNameColumn) return "File Name";
  const int shown = column - kFirstShownColumn;
  if (shown < catalogue::kRowCount) return catalogue::Catalogue().Row(shown).caption;
  return catalogue::Catalogue().Label(shown - catalogue::kRowCount);
}

std::optional<std::string_view> Sheet::Field(const SheetLine& line, int column) const {
  const std::optional<std::size_t>& place = places.at(static_cast<std::size_t>(column));
  if (!place || *place >= line.fields.size()) return std::nullopt;
  return line.fields[*place];
}

Result<Sheet> ParseSheet(std::string_view bytes) {
  Sheet sheet;
  const Result<std::string> text = DecodedText(bytes, sheet.codePage932);
  if (!text) return text.outcome();
  Result<std::vector<Record>> records = SplitRecords(*text);
  if (!records) return records.outcome();

  auto record = records->begin();
  while (record != records->end() && Blank(*record)) ++record;
  if (record == records->end()) return Outcome::Failure(FailureKind::Damaged, "has no header line");
  const std::vector<std::string>& header = record->fields;
  sheet.width = header.size();
  for (std::size_t place = 0; place < header.size(); ++place) {
    int column = 0;
    while (column < kColumnCount && ColumnName(column) != header[place]) ++column;
    if (column == kColumnCount) {
      return Outcome::Failure(FailureKind::Damaged, "unknown column " + Quoted(header[place]) + " in the header line");
    }
    std::optional<std::size_t>& known = sheet.places[static_cast<std::size_t>(column)];
    if (known) return Outcome::Failure(FailureKind::Damaged, "column " + Quoted(header[place]) + " named twice");
    known = place;
  }
  if (!sheet.places[kFullNameColumn]) {
    return Outcome::Failure(FailureKind::Damaged, "no " + Quoted(ColumnName(kFullNameColumn)) + " column in the header line");
  }
  for (++record; record != records->end(); ++record) {
    if (!Blank(*record)) sheet.lines.push_back({record->number, std::move(record->fields)});
  }
  return sheet;
}

Result<Sheet> ReadSheet(const std::string& path) {
  const fs::OpenResult opened = fs::OpenFile(path, fs::OpenMode::Read);
  if (!opened.file) return fs::DescribeOpenError(opened);
  const std::uint64_t size = opened.file->Size();
  if (size > kMaxSheetBytes) return Outcome::Failure(FailureKind::Unsupported, "larger than 256 MiB");
  std::string bytes(static_cast<std::size_t>(size), '\0');
  if (Outcome read = opened.file->ReadAt(0, bytes.data(), bytes.size()); !read) return read;
  return ParseSheet(bytes);
}

}  // namespace kestrel::sheet
