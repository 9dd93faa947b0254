// export: the CSV file of the program's export, written in one piece at the end, and what it
// holds told on standard error.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/DocumentLineReader.h"
#include "cli/DocumentPool.h"
#include "cli/ExitStatus.h"
#include "cli/FileList.h"
#include "cli/HelpTexts.h"
#include "cli/UsageError.h"
#include "export/CsvLines.h"
#include "platform/Outcome.h"

namespace kestrel::cli {
namespace {

// "1 document", "2 documents".
std::string Counted(std::size_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace

int RunExport(ArgumentScanner& args, Console& console) {
  std::optional<std::string> target;
  std::vector<std::string> names;
  csv::CsvEncoding encoding = csv::CsvEncoding::Cp932;
  while (const std::optional<Argument> argument = args.Next()) {
    if (!argument->isOption) {
      names.push_back(argument->text);
    } else if (argument->text == "--help" || argument->text == "-h") {
      args.NoValue();
      console.Out() << kExportHelp;
      return kExitSuccess;
    } else if (argument->text == "--utf8") {
      args.NoValue();
      encoding = csv::CsvEncoding::Utf8;
    } else if (argument->text == "--output" || argument->text == "-o") {
      if (target) throw UsageError("option " + argument->text + " given twice");
      target = args.Value();
      if (target->empty()) throw UsageError("option " + argument->text + " needs a file name");
    } else {
      throw UsageError("unknown option " + argument->text);
    }
  }
  if (!target) throw UsageError("no output file given (-o OUT.csv)");
  if (names.empty()) throw UsageError("no FILE given");

  const std::size_t workers = WorkerCount(DocumentWork::Reading);
  std::vector<std::string> lines{csv::CsvHeaderLine()};
  std::size_t leftOut = 0;
  std::string firstLeftOut;  // the first document without a line, and why
  const auto collect = [&](const std::string& file, const DocumentLine& read) {
    lines.insert(lines.end(), read.lines.begin(), read.lines.end());
    if (read.lines.empty() && leftOut++ == 0) firstLeftOut = file + ": " + read.read.message();
  };
  const bool allRead = ReadDocumentLines(ListFiles(std::move(names), console), workers, console, collect);

  const Result<std::size_t> replaced = csv::WriteCsvLines(*target, lines, encoding);
  if (!replaced) {
    console.Problem(*target, "cannot be saved: " + replaced.outcome().message());
    return kExitFailure;
  }
  // The reason comes last: it may hold commas and parentheses of its own. UTF-8 holds every
  // character, so only Shift-JIS has replacements to count.
  std::string summary = Counted(lines.size() - 1, "document") + " written, ";
  if (encoding == csv::CsvEncoding::Cp932) summary.append(Counted(*replaced, "character")).append(" replaced with \"?\", ");
  summary.append(std::to_string(leftOut)).append(" left out");
  if (leftOut > 0) summary.append("; first left out: ").append(firstLeftOut);
  console.Problem(*target, summary);
  return allRead ? kExitSuccess : kExitFailure;
}

}  // namespace kestrel::cli
