#pragma once
// The options of "set" as the batch tab's values: a given property option checks its row, a
// given file-time part checks its box, an attribute option turns its box from grayed to checked
// or unchecked.

#include <optional>
#include <string>
#include <vector>

#include "catalogue/ChangeChoices.h"
#include "catalogue/OtherProperties.h"
#include "cli/ArgumentScanner.h"

namespace kestrel::cli {

struct SetCommandLine {
  catalogue::BatchValues values;   // every row, box and attribute not given stays as it is
  catalogue::OtherEdits others;    // the custom properties set or removed
  std::vector<std::string> files;  // as named, in order
};

// nullopt when help was asked for. Throws UsageError for an unknown or repeated option (custom
// property options may be given once per name), a value that is not what its option takes, no
// file, or nothing to change.
std::optional<SetCommandLine> ParseSetCommandLine(ArgumentScanner& args);

}  // namespace kestrel::cli
