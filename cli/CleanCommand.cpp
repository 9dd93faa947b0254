// clean: removes personal information from the documents, as the window's batch command does,
// through the same run as set.

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/PersonalInformation.h"
#include "change/ApplyChange.h"
#include "cli/ChangeRun.h"
#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "cli/HelpTexts.h"
#include "cli/UsageError.h"

namespace kestrel::cli {

int RunClean(ArgumentScanner& args, Console& console) {
  std::vector<catalogue::PersonalItem> items;
  for (const catalogue::PersonalItemName& name : catalogue::kPersonalItems) items.push_back(name.item);
  std::vector<std::string> files;
  bool backup = false;
  while (const std::optional<Argument> argument = args.Next()) {
    const std::string& word = argument->text;
    if (!argument->isOption) {
      files.push_back(word);
    } else if (word == "--help" || word == "-h") {
      args.NoValue();
      console.Out() << kCleanHelp;
      return kExitSuccess;
    } else if (word == "--backup") {
      args.NoValue();
      backup = true;
    } else if (word == "--keep") {
      const std::string kept = args.Value();
      const auto* name = std::find_if(catalogue::kPersonalItems.begin(), catalogue::kPersonalItems.end(),
                                      [&kept](const catalogue::PersonalItemName& n) { return n.key == kept; });
      if (name == catalogue::kPersonalItems.end()) throw UsageError("option --keep takes one of the items listed by --help, not \"" + kept + "\"");
      std::erase(items, name->item);
    } else {
      throw UsageError("unknown option " + word);
    }
  }
  if (files.empty()) throw UsageError("no FILE given");
  if (items.empty()) throw UsageError("nothing to remove: every item is kept");
  return RunChanges(change::ChangeRequest::Removal(items), backup, std::move(files), console);
}

}  // namespace kestrel::cli
