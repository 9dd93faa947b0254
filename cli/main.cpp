// kestrelpad-cli: the document services of kestrelpad on the command line, for scripted audits
// and bulk changes.

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/Console.h"
#include "cli/ExitStatus.h"
#include "platform/fs/LeftoverJournal.h"

int main(int argc, char** argv) {
  kestrel::cli::Console console(std::cout, std::cerr);
  try {
    // What an earlier run stopped by a kill left behind (a document left writable, a named copy).
    kestrel::fs::RepairLeftovers();
    return kestrel::cli::Run(std::vector<std::string>(argv + 1, argv + argc), console);
  } catch (const std::exception& error) {
    // Out of memory and the like: said, not a crash.
    console.Error(error.what());
    return kestrel::cli::kExitFailure;
  }
}
