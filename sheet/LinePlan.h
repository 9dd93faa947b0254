#pragma once
// What one line of an edited sheet asks of the document it names: the cells that differ from
// what the export shows of the document now become one change request, as "set" would take
// them; cells equal to it, and columns the sheet left out, keep what the document holds.
// Nothing here throws except std::bad_alloc.

#include <optional>
#include <string>
#include <vector>

#include "change/ApplyChange.h"
#include "export/CsvDocumentLine.h"
#include "ooxml/PackageProperties.h"
#include "platform/Outcome.h"
#include "sheet/SheetFile.h"

namespace kestrel::sheet {

// One differing cell, for the dry run: the column's name, what the export shows, what is written.
struct Difference {
  std::string caption;
  std::string before;
  std::string after;
};

struct LinePlan {
  std::string document;  // the "File full name" cell: the path the change reaches
  change::ChangeRequest request;
  std::vector<Difference> differences;  // in the export's column order; none: already so
};

// The plan of `line` against a document the export shows as `shown`. Fails, saying why, when the
// line's field count is not the header's, or a differing cell is not what its editor takes: a
// whole number 0 to 32767 (改訂番号, 編集時間), a date and time (the printed date may be empty
// to erase it; a file time from 1601 on), "Y" or empty for an attribute.
Result<LinePlan> PlanAgainst(const Sheet& sheet, const SheetLine& line, const csv::ShownFields& shown);

// Reads the document the line names (putting its times back, as the export does) and plans the
// line against it. Fails also when the document is missing or cannot be read.
Result<LinePlan> PlanLine(ooxml::PackageProperties& packages, const Sheet& sheet, const SheetLine& line);

// For each line, the number of an earlier line naming the same document (the same path, or the
// same file under another name), whose plan the later one must not undo; nullopt for the first.
std::vector<std::optional<std::size_t>> EarlierLinesOfSameDocument(const Sheet& sheet);

// PlanLine for the sheet's line `index`, refused when an earlier line (`earlier`, as
// EarlierLinesOfSameDocument gives it) named the same document.
Result<LinePlan> PlanSheetLine(ooxml::PackageProperties& packages, const Sheet& sheet, std::size_t index,
                               const std::vector<std::optional<std::size_t>>& earlier);

}  // namespace kestrel::sheet
