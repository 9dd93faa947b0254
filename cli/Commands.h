#pragma once
// The commands. Each takes the words after its name, writes on the console and returns the
// exit status; a command line it cannot follow throws UsageError before anything is done.

#include "cli/ArgumentScanner.h"
#include "cli/Console.h"

namespace kestrel::cli {

int RunShow(ArgumentScanner& args, Console& console);
int RunExport(ArgumentScanner& args, Console& console);
int RunSet(ArgumentScanner& args, Console& console);
int RunClean(ArgumentScanner& args, Console& console);
int RunApply(ArgumentScanner& args, Console& console);

}  // namespace kestrel::cli
