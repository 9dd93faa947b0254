#pragma once
// The CSV export file: the header line, the quoted fields of a line, and the writing of all lines
// as code page 932 text, or as UTF-8 for what code page 932 cannot hold.
// Nothing here throws.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Outcome.h"

namespace kestrel::csv {

// The 23 quoted column names: the path columns, the catalogue captions and the seven labels.
std::string CsvHeaderLine();

// Appends "value" between quotes, each quote in it written twice and its line breaks as they are,
// then a comma unless the field is the last of the line.
void AppendField(std::string& line, std::string_view value, bool last);

// What follows the last "/", "\" or ":" of the path; the whole text when it has none.
std::string CsvFileName(std::string_view fullPath);

enum class CsvEncoding {
  Cp932,  // what the program's export writes, for Japanese spreadsheets
  Utf8,   // with a byte-order mark, so that spreadsheets do not take it for the local code page
};

// Writes each UTF-8 line as code page 932 followed by CR LF, no byte-order mark, a character the
// code page cannot hold as Windows writes it (its look-alike, or "?"); or with Utf8 the byte-order
// mark and the lines as they are (a byte that is no UTF-8 as U+FFFD), each followed by CR LF. The target is replaced in
// one step only once the whole file is on disk; a symbolic link stays and its file is replaced.
// Answers how many characters became "?". A failure says why (the system's words where it refused)
// and leaves the target untouched and no temporary file behind. A read-only target, or one another
// program holds open, is not replaced.
Result<std::size_t> WriteCsvLines(const std::string& path, const std::vector<std::string>& lines,
                                  CsvEncoding encoding = CsvEncoding::Cp932);

}  // namespace kestrel::csv
