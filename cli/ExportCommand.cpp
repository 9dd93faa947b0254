// export: the CSV file of the program's export, written in one piece at the end.

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

int RunExport(ArgumentScanner& args, Console& console) {
  std::optional<std::string> target;
  std::vector<std::string> names;
  while (const std::optional<Argument> argument = args.Next()) {
    if (!argument->isOption) {
      names.push_back(argument->text);
    } else if (argument->text == "--help" || argument->text == "-h") {
      args.NoValue();
      console.Out() << kExportHelp;
      return kExitSuccess;
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

  std::vector<std::string> lines{csv::CsvHeaderLine()};
  DocumentLineReader reader(console);
  bool allRead = true;
  for (const ListedFile& file : ListFiles(names, console)) allRead = reader.Append(file, lines) && allRead;

  if (!csv::WriteCsvLines(*target, lines)) {
    console.Problem(*target,
                    "cannot be saved (check that its folder exists and takes files and that the file is not "
                    "read-only, and close any other program that has it open)");
    return kExitFailure;
  }
  return allRead ? kExitSuccess : kExitFailure;
}

}  // namespace kestrel::cli
