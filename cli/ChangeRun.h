#pragma once
// The run that set and clean share: one change request over the files given, the backup of each
// document first when asked, a line per file in the order given.

#include <string>
#include <vector>

#include "change/ApplyChange.h"
#include "cli/Console.h"

namespace kestrel::cli {

// The exit status: success when every document was changed or already so.
int RunChanges(const change::ChangeRequest& request, bool backup, const std::vector<std::string>& names,
               Console& console);

}  // namespace kestrel::cli
