#pragma once
// The run that set, clean and apply share: a change request for each file, the backup of each
// document first when asked, a line per file in the order given. Lines come in groups, each once
// the folders its documents were renamed into are synced: a line never says "changed" before the
// change is durable.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "change/ApplyChange.h"
#include "cli/Console.h"

namespace kestrel::cli {

// The request for the file at an index of the list.
using RequestOf = std::function<const change::ChangeRequest&(std::size_t index)>;

// Each file (already taken once each) changed by its own request. The exit status: success when
// every document was changed or already so.
int RunChanges(const std::vector<std::string>& files, const RequestOf& requestOf, bool backup, Console& console);

// One request over the files named, each file once.
int RunChanges(const change::ChangeRequest& request, bool backup, std::vector<std::string> names, Console& console);

}  // namespace kestrel::cli
