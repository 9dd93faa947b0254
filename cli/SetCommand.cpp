// set: the batch run over the files given, in order, with the backup first when asked.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "change/ApplyChange.h"
#include "change/Backup.h"
#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "cli/FileList.h"
#include "cli/HelpTexts.h"
#include "cli/SetCommandLine.h"
#include "ooxml/PackageProperties.h"

namespace kestrel::cli {

int RunSet(ArgumentScanner& args, Console& console) {
  const std::optional<SetCommandLine> commandLine = ParseSetCommandLine(args);
  if (!commandLine) {
    console.Out() << kSetHelp;
    return kExitSuccess;
  }
  const std::vector<ListedFile> files = ListFiles(commandLine->files, console);
  const change::ChangeRequest request = change::ChangeRequest::Batch(commandLine->values);
  ooxml::PackageProperties packages;

  bool allChanged = true;
  std::size_t next = 0;
  while (next < files.size()) {
    const std::string& given = files[next].given;
    const std::string& path = files[next].path;
    ++next;
    if (commandLine->values.backup) {
      if (const Outcome backedUp = change::BackUpDocument(path); !backedUp) {
        // As in the batch run: the document is not changed and the run ends here.
        console.Out() << "backup error: " << given << '\n';
        console.Problem(given, backedUp.message());
        allChanged = false;
        break;
      }
    }
    if (const Outcome changed = change::ApplyChange(packages, path, request)) {
      console.Out() << "changed: " << given << '\n';
    } else {
      console.Out() << "change error: " << given << '\n';
      console.Problem(given, changed.message());
      allChanged = false;
    }
  }
  for (; next < files.size(); ++next) console.Out() << "not changed: " << files[next].given << '\n';
  return allChanged ? kExitSuccess : kExitFailure;
}

}  // namespace kestrel::cli
