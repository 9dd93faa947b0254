// set, clean and apply: the batch run over the files given, with the backup first when asked. Several
// documents are in flight at once; their lines come out in the order given.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "change/ApplyChange.h"
#include "cli/BackupStep.h"
#include "cli/BackupTurns.h"
#include "cli/ChangeRun.h"
#include "cli/Commands.h"
#include "cli/DocumentPool.h"
#include "cli/ExitStatus.h"
#include "cli/FileList.h"
#include "cli/HelpTexts.h"
#include "cli/SetCommandLine.h"
#include "ooxml/PackageProperties.h"
#include "platform/fs/ReplacementFile.h"
#include "platform/fs/SharedSyncs.h"

namespace kestrel::cli {
namespace {

struct SetOutcome {
  enum class Step { Changed, BackupFailed, NotTouched };
  SetOutcome(Step reached, Outcome its) : step(reached), outcome(std::move(its)) {}
  explicit SetOutcome(Step reached) : step(reached) {}
  Step step = Step::Changed;  // how far the document went; `outcome` is that step's
  Outcome outcome = Outcome::Success();
  std::string folder;          // where a new file took the document's name, to be made durable
  std::uint64_t renamed = 0;   // its note with the folder syncs; 0: nothing renamed
};

// Documents reported together after one sync of their folders.
constexpr std::size_t kReportGroup = 32;

// The change of one document, with its backup in its turn when asked.
SetOutcome ChangeDocument(ooxml::PackageProperties& packages, const std::string& path,
                          const change::ChangeRequest& request, BackupTurns* turns, fs::SharedSyncs& folders,
                          fs::SharedSyncs& fileSystems, std::size_t index) {
  using Step = SetOutcome::Step;
  if (turns != nullptr && !turns->Open()) return SetOutcome{Step::NotTouched};
  // What would refuse the change is found before its backup: such a document fails with its
  // reason, gets no backup, and the run goes on.
  Result<change::PreparedChange> change = change::PrepareChange(packages, path, request);
  std::optional<BackupStep> backup;
  if (turns != nullptr) backup.emplace(*turns, fileSystems, index, path, change);
  fs::CommitSteps steps{fs::FolderSync::ByCaller, nullptr};
  if (backup) steps.beforeChange = [&backup] { return (*backup)(); };
  SetOutcome set{Step::Changed, change ? change->Write(steps) : change.outcome()};
  if (change && change->WritesNewFile()) {
    set.folder = fs::FolderHolding(path);
    set.renamed = folders.Noted(set.folder);
  }
  switch (backup ? backup->Finish() : BackupStep::Result::NotRun) {
    case BackupStep::Result::TurnRefused:
      return SetOutcome{Step::NotTouched};
    case BackupStep::Result::Failed:
      return SetOutcome{Step::BackupFailed, backup->BackupOutcome()};
    case BackupStep::Result::NotRun:
    case BackupStep::Result::Placed:
      break;
  }
  return set;
}

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
  // Documents renamed into one folder, and backups, share its syncs: each is durable before its
  // line says so, and one sync serves all done before it began.
  fs::SharedSyncs folders(fs::SyncFolder);
  fs::SharedSyncs fileSystems(fs::SyncFileSystem);
  std::vector<ooxml::PackageProperties> packages(pool.Workers());

  bool allChanged = true;
  // Lines wait in groups until the folders their documents were renamed into are synced: one sync
  // serves the group, and no line says "changed" before its document is durable.
  std::vector<std::pair<std::size_t, SetOutcome>> group;
  const auto reportGroup = [&] {
    std::map<std::string, std::uint64_t> renamedInto;
    for (const auto& [index, set] : group) {
      if (set.renamed != 0) renamedInto[set.folder] = std::max(renamedInto[set.folder], set.renamed);
    }
    for (const auto& [folder, renamed] : renamedInto) folders.MakeDurable(folder, renamed);
    for (const auto& [index, set] : group) allChanged = Report(console, files[index], set) && allChanged;
    group.clear();
  };
  pool.RunInOrder<SetOutcome>(
      files.size(),
      [&](std::size_t index, std::size_t worker) {
        return ChangeDocument(packages[worker], files[index], requestOf(index), backup ? &turns : nullptr, folders,
                              fileSystems, index);
      },
      [&](std::size_t index, SetOutcome set) {
        group.emplace_back(index, std::move(set));
        if (group.size() == kReportGroup) reportGroup();
      });
  reportGroup();
  return allChanged ? kExitSuccess : kExitFailure;
}

int RunChanges(const change::ChangeRequest& request, bool backup, std::vector<std::string> names, Console& console) {
  const std::vector<std::string> files = ListFiles(std::move(names), console);
  return RunChanges(files, [&request](std::size_t) -> const change::ChangeRequest& { return request; }, backup, console);
}

int RunSet(ArgumentScanner& args, Console& console) {
  std::optional<SetCommandLine> commandLine = ParseSetCommandLine(args);
  if (!commandLine) {
    console.Out() << kSetHelp;
    return kExitSuccess;
  }
  change::ChangeRequest request = change::ChangeRequest::Batch(commandLine->values);
  request.others = commandLine->others;
  return RunChanges(request, commandLine->values.backup, std::move(commandLine->files), console);
}

}  // namespace kestrel::cli
