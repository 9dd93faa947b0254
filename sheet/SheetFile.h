#pragma once
// A CSV sheet as a spreadsheet saves the program's export after editing: its text decoded, its
// header naming the columns it kept (in any order), and each line's fields with the line it
// starts on.
// Nothing here throws except std::bad_alloc.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "export/CsvDocumentLine.h"
#include "platform/Outcome.h"

namespace kestrel::sheet {

// The export's columns in its order: the full path, the file name, then the shown fields.
inline constexpr int kFullNameColumn = 0;
inline constexpr int kFileNameColumn = 1;
inline constexpr int kFirstShownColumn = 2;
inline constexpr int kColumnCount = kFirstShownColumn + csv::kShownFieldCount;

// The header name of an export column.
std::string_view ColumnName(int column);

struct SheetLine {
  std::size_t number = 0;           // the physical line (from 1) the line starts on
  std::vector<std::string> fields;  // UTF-8, in the sheet's own column order
};

struct Sheet {
  // Where each export column stands in the sheet's lines; nullopt when the sheet left it out.
  std::array<std::optional<std::size_t>, kColumnCount> places{};
  std::size_t width = 0;  // how many columns the header names
  // Decoded from code page 932: the export wrote its values there with look-alikes and "?".
  bool codePage932 = false;
  std::vector<SheetLine> lines;  // the data lines, blank ones left out

  // The line's field in an export column; nullopt when the sheet has no such column or the line
  // is shorter than the header.
  std::optional<std::string_view> Field(const SheetLine& line, int column) const;
};

// Bytes with a UTF-8 byte-order mark, or valid UTF-8, as UTF-8; any other as code page 932. CSV
// as spreadsheets write it: fields quoted or not, "" for a quote inside quotes, CR LF, LF or CR
// line ends, line breaks inside quoted fields. The first line that is not blank is the header;
// "File full name" is needed, an unknown or repeated column name is refused by its name.
Result<Sheet> ParseSheet(std::string_view bytes);

// ParseSheet of the file's bytes; a file that cannot be read says why.
Result<Sheet> ReadSheet(const std::string& path);

}  // namespace kestrel::sheet
