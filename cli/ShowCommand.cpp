// show: the CSV lines on standard output, UTF-8 with LF, for reading in a terminal or a pipe; or
// with --json one JSON object per document, for scripts.

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
#include "export/PropertyListing.h"

namespace kestrel::cli {

int RunShow(ArgumentScanner& args, Console& console) {
  std::vector<std::string> names;
  bool everyProperty = false;
  bool json = false;
  while (const std::optional<Argument> argument = args.Next()) {
    if (!argument->isOption) {
      names.push_back(argument->text);
    } else if (argument->text == "--all" || argument->text == "-a") {
      args.NoValue();
      everyProperty = true;
    } else if (argument->text == "--json") {
      args.NoValue();
      json = true;
    } else if (argument->text == "--help" || argument->text == "-h") {
      args.NoValue();
      console.Out() << kShowHelp;
      return kExitSuccess;
    } else {
      throw UsageError("unknown option " + argument->text);
    }
  }
  if (names.empty()) throw UsageError("no FILE given");

  const std::size_t workers = WorkerCount(DocumentWork::Reading);
  // JSON Lines have no header: each object names its own fields.
  if (!json) console.Out() << (everyProperty ? csv::PropertyListingHeaderLine() : csv::CsvHeaderLine()) << '\n';
  const LineForm form = json ? (everyProperty ? LineForm::JsonEveryProperty : LineForm::Json)
                             : (everyProperty ? LineForm::EveryProperty : LineForm::Export);
  const std::vector<std::string> files = ListFiles(std::move(names), console);
  // Each line as soon as it is read, so a long run shows its progress.
  const bool allRead = ReadDocumentLines(files, workers, console, [&](const std::string&, const DocumentLine& read) {
    for (const std::string& line : read.lines) console.Out() << line << '\n';
  }, form);
  return allRead ? kExitSuccess : kExitFailure;
}

}  // namespace kestrel::cli
