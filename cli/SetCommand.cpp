// set, clean and apply: the batch run over the files given, with the backup first when asked. Several
// documents are in flight at once; their lines come out in the order given.

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "change/ApplyChange.h"
#include "change/Backup.h"
#include "cli/BackupTurns.h"
#include "cli/ChangeRun.h"
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
  enum class Step { Changed, BackupFailed, NotTouched };
  Step step = Step::Changed;  // how far the document went; `outcome` is that step's
  Outcome outcome = Outcome::Success();
};

// The document's line, and its problem after it.
bool Report(Console& console, const std::string& given, const SetOutcome& set) {
  if (set.step == SetOutcome::Step::NotTouched) {
    console.Out() << "not changed: " << ShownName(given) << '\n';
    return true;
  }
  if (set.step == SetOutcome::Step::BackupFailed) {
    console.Out() << "backup error: " << ShownName(given) << '\n';
  } else if (set.outcome) {
    console.Out() << (set.outcome.alreadySo() ? "already so: " : "changed: ") << ShownName(given) << '\n';
  } else {
    console.Out() << "change error: " << ShownName(given) << '\n';
  }
  if (!set.outcome) console.Problem(given, set.outcome.message());
  return set.outcome.ok();
}

}  // namespace

int RunChanges(const std::vector<std::string>& files, const RequestOf& requestOf, bool backup, Console& console) {
  DocumentPool pool(WorkerCount(DocumentWork::Changing));
  // As in the batch run, a failed backup ends the run: no document after it is touched.
  BackupTurns turns;
  std::vector<ooxml::PackageProperties> packages(pool.Workers());

  bool allChanged = true;
  pool.RunInOrder<SetOutcome>(
      files.size(),
      [&](std::size_t index, std::size_t worker) {
        const std::string& path = files[index];
        using Step = SetOutcome::Step;
        if (backup && !turns.Open()) return SetOutcome{Step::NotTouched};
        // What would refuse the change is found before its backup: such a document fails with its
        // reason, gets no backup, and the run goes on.
        Result<change::PreparedChange> change = change::PrepareChange(packages[worker], path, requestOf(index));
        if (backup) {
          std::optional<Result<change::PreparedBackup>> copy;
          if (change && !change->AlreadySo()) copy.emplace(change::PrepareBackup(path));
          if (!turns.WaitFor(index)) return SetOutcome{Step::NotTouched};
          Outcome backedUp = Outcome::Success();
          if (copy) backedUp = *copy ? change::PutBackupInPlace(**copy) : copy->outcome();
          turns.Done(index, backedUp.ok());
          if (!backedUp) return SetOutcome{Step::BackupFailed, backedUp};
          if (copy) change::SyncBackupName(**copy);
        }
        return SetOutcome{Step::Changed, change ? change->Write() : change.outcome()};
      },
      [&](std::size_t index, const SetOutcome& set) {
        allChanged = Report(console, files[index], set) && allChanged;
      });
  return allChanged ? kExitSuccess : kExitFailure;
}

int RunChanges(const change::ChangeRequest& request, bool backup, const std::vector<std::string>& names,
               Console& console) {
  std::vector<std::string> files;
  for (ListedFile& file : ListFiles(names, console)) files.push_back(std::move(file.given));
  return RunChanges(files, [&request](std::size_t) -> const change::ChangeRequest& { return request; }, backup, console);
}

int RunSet(ArgumentScanner& args, Console& console) {
  const std::optional<SetCommandLine> commandLine = ParseSetCommandLine(args);
  if (!commandLine) {
    console.Out() << kSetHelp;
    return kExitSuccess;
  }
  change::ChangeRequest request = change::ChangeRequest::Batch(commandLine->values);
  request.others = commandLine->others;
  return RunChanges(request, commandLine->values.backup, commandLine->files, console);
}

}  // namespace kestrel::cli
