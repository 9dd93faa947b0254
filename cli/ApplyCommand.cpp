// apply: an edited export sheet written back to its documents. Every line is planned first (its
// document read, its differing cells made one change request); a refused line is told with its
// line number and the others go on, through the same run as set.

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "change/ApplyChange.h"
#include "cli/ChangeRun.h"
#include "cli/Commands.h"
#include "cli/DocumentPool.h"
#include "cli/ExitStatus.h"
#include "cli/HelpTexts.h"
#include "cli/UsageError.h"
#include "ooxml/PackageProperties.h"
#include "sheet/LinePlan.h"
#include "sheet/SheetFile.h"

namespace kestrel::cli {
namespace {

struct ApplyCommandLine {
  std::string sheet;
  bool dryRun = false;
  bool backup = false;
};

// nullopt when help was asked for.
std::optional<ApplyCommandLine> ParseApplyCommandLine(ArgumentScanner& args) {
  ApplyCommandLine commandLine;
  std::optional<std::string> sheet;
  while (const std::optional<Argument> argument = args.Next()) {
    const std::string& word = argument->text;
    if (!argument->isOption) {
      if (sheet) throw UsageError("one SHEET.csv only, not also \"" + word + "\"");
      sheet = word;
    } else if (word == "--help" || word == "-h") {
      args.NoValue();
      return std::nullopt;
    } else if (word == "--dry-run") {
      args.NoValue();
      commandLine.dryRun = true;
    } else if (word == "--backup") {
      args.NoValue();
      commandLine.backup = true;
    } else {
      throw UsageError("unknown option " + word);
    }
  }
  if (!sheet) throw UsageError("no SHEET.csv given");
  commandLine.sheet = std::move(*sheet);
  return commandLine;
}

// The plans of the lines that can be applied, in the sheet's order; each refused line told on
// the error stream with its line number. `allPlanned` turns false on the first refusal.
std::vector<sheet::LinePlan> PlanSheet(const std::string& name, const sheet::Sheet& sheet, Console& console,
                                       bool& allPlanned) {
  const std::vector<std::optional<std::size_t>> earlier = sheet::EarlierLinesOfSameDocument(sheet);
  DocumentPool pool(WorkerCount(DocumentWork::Reading));
  // Each worker its own: the ZIP component caches.
  std::vector<ooxml::PackageProperties> packages(pool.Workers());
  std::vector<sheet::LinePlan> plans;
  pool.RunInOrder<Result<sheet::LinePlan>>(
      sheet.lines.size(),
      [&](std::size_t index, std::size_t worker) { return sheet::PlanSheetLine(packages[worker], sheet, index, earlier); },
      [&](std::size_t index, Result<sheet::LinePlan> plan) {
        if (plan) {
          plans.push_back(std::move(*plan));
          return;
        }
        allPlanned = false;
        std::string place = ShownName(name);
        place += ':';
        place += std::to_string(sheet.lines[index].number);
        console.Error(place + ": " + plan.outcome().message() + "; the line is not applied");
      });
  return plans;
}

void ShowDifferences(const std::vector<sheet::LinePlan>& plans, Console& console) {
  for (const sheet::LinePlan& plan : plans) {
    console.Out() << ShownName(plan.document) << '\n';
    if (plan.differences.empty()) console.Out() << "  (no change)\n";
    for (const sheet::Difference& difference : plan.differences) {
      console.Out() << "  " << difference.caption << ": " << ShownName(difference.before) << " -> "
                    << ShownName(difference.after) << '\n';
    }
  }
}

}  // namespace

int RunApply(ArgumentScanner& args, Console& console) {
  const std::optional<ApplyCommandLine> commandLine = ParseApplyCommandLine(args);
  if (!commandLine) {
    console.Out() << kApplyHelp;
    return kExitSuccess;
  }
  const Result<sheet::Sheet> sheet = sheet::ReadSheet(commandLine->sheet);
  if (!sheet) {
    console.Problem(commandLine->sheet, "cannot be applied: " + sheet.outcome().message());
    return kExitFailure;
  }
  bool allPlanned = true;
  const std::vector<sheet::LinePlan> plans = PlanSheet(commandLine->sheet, *sheet, console, allPlanned);
  if (commandLine->dryRun) {
    ShowDifferences(plans, console);
    return allPlanned ? kExitSuccess : kExitFailure;
  }
  std::vector<std::string> files;
  for (const sheet::LinePlan& plan : plans) files.push_back(plan.document);
  const int status = RunChanges(
      files, [&plans](std::size_t index) -> const change::ChangeRequest& { return plans[index].request; },
      commandLine->backup, console);
  return allPlanned ? status : kExitFailure;
}

}  // namespace kestrel::cli
