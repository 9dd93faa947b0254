// show: the CSV lines on standard output, UTF-8 with LF, for reading in a terminal or a pipe.

#include <optional>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/DocumentLineReader.h"
#include "cli/ExitStatus.h"
#include "cli/FileList.h"
#include "cli/HelpTexts.h"
#include "cli/UsageError.h"
#include "export/CsvLines.h"

namespace kestrel::cli {

int RunShow(ArgumentScanner& args, Console& console) {
  std::vector<std::string> names;
  while (const std::optional<Argument> argument = args.Next()) {
    if (!argument->isOption) {
      names.push_back(argument->text);
    } else if (argument->text == "--help" || argument->text == "-h") {
      args.NoValue();
      console.Out() << kShowHelp;
      return kExitSuccess;
    } else {
      throw UsageError("unknown option " + argument->text);
    }
  }
  if (names.empty()) throw UsageError("no FILE given");

  console.Out() << csv::CsvHeaderLine() << '\n';
  DocumentLineReader reader(console);
  bool allRead = true;
  std::vector<std::string> lines;
  for (const ListedFile& file : ListFiles(names, console)) {
    lines.clear();
    allRead = reader.Append(file, lines) && allRead;
    // Each line as soon as it is read, so a long run shows its progress.
    for (const std::string& line : lines) console.Out() << line << '\n';
  }
  return allRead ? kExitSuccess : kExitFailure;
}

}  // namespace kestrel::cli
