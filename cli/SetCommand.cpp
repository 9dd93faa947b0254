// set: the batch run over the files given, with the backup first when asked. Several documents
// are in flight at once; their lines come out in the order given.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "change/ApplyChange.h"
#include "change/Backup.h"
#include "cli/Commands.h"
#include "cli/DocumentPool.h"
#include "cli/ExitStatus.h"
#include "cli/FileList.h"
#include "cli/HelpTexts.h"
#include "cli/SetCommandLine.h"
#include "ooxml/PackageProperties.h"

namespace kestrel::cli {
namespace {

struct SetOutcome {
  bool backedUp = true;  // else `outcome` is the backup's failure and the document was not changed
  Outcome outcome = Outcome::Success();
};

// The document's line, and its problem after it.
bool Report(Console& console, const std::string& given, const SetOutcome& set) {
  if (!set.backedUp) {
    console.Out() << "backup error: " << given << '\n';
  } else if (set.outcome) {
    console.Out() << (set.outcome.alreadySo() ? "already so: " : "changed: ") << given << '\n';
  } else {
    console.Out() << "change error: " << given << '\n';
  }
  if (!set.outcome) console.Problem(given, set.outcome.message());
  return set.outcome.ok();
}

}  // namespace

int RunSet(ArgumentScanner& args, Console& console) {
  const std::optional<SetCommandLine> commandLine = ParseSetCommandLine(args);
  if (!commandLine) {
    console.Out() << kSetHelp;
    return kExitSuccess;
  }
  const bool backup = commandLine->values.backup;
  // As in the batch run, a failed backup ends the run: no document after it may be touched, so
  // each starts only once the one before is backed up.
  DocumentPool pool(WorkerCount(DocumentWork::Changing), backup ? Starts::WhenThePreviousAllows : Starts::Freely);
  const std::vector<ListedFile> files = ListFiles(commandLine->files, console);
  const change::ChangeRequest request = change::ChangeRequest::Batch(commandLine->values);
  std::vector<ooxml::PackageProperties> packages(pool.Workers());

  bool allChanged = true;
  const std::size_t started = pool.RunInOrder<SetOutcome>(
      files.size(),
      [&](std::size_t index, std::size_t worker, NextStart& next) {
        const std::string& path = files[index].path;
        if (backup) {
          if (Outcome backedUp = change::BackUpDocument(path); !backedUp) return SetOutcome{false, std::move(backedUp)};
        }
        next.Allow();
        return SetOutcome{true, change::ApplyChange(packages[worker], path, request)};
      },
      [&](std::size_t index, const SetOutcome& set) {
        allChanged = Report(console, files[index].given, set) && allChanged;
      });
  for (std::size_t index = started; index < files.size(); ++index) {
    console.Out() << "not changed: " << files[index].given << '\n';
  }
  return allChanged ? kExitSuccess : kExitFailure;
}

}  // namespace kestrel::cli
