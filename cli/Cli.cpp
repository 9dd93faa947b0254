#include "cli/Cli.h"

#include <string_view>

#include "cli/ArgumentScanner.h"
#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "cli/HelpTexts.h"
#include "cli/UsageError.h"

namespace kestrel::cli {
namespace {

struct Command {
  std::string_view name;
  int (*run)(ArgumentScanner&, Console&);
  std::string_view help;
};

constexpr Command kCommands[] = {
    {"show", RunShow, kShowHelp},
    {"export", RunExport, kExportHelp},
    {"set", RunSet, kSetHelp},
    {"clean", RunClean, kCleanHelp},
    {"apply", RunApply, kApplyHelp},
};

int UsageFailure(Console& console, const UsageError& error, std::string_view help, std::string_view helpCommand) {
  console.Error(error.what());
  console.Err() << UsageLine(help) << "\nTry \"" << helpCommand << " --help\" for more.\n";
  return kExitUsage;
}

int Execute(const Command& command, std::vector<std::string> words, Console& console) {
  try {
    ArgumentScanner args(std::move(words), 1);
    return command.run(args, console);
  } catch (const UsageError& error) {
    return UsageFailure(console, error, command.help, std::string(kProgramName) + " " + std::string(command.name));
  }
}

}  // namespace

int Run(std::vector<std::string> words, Console& console) {
  const int status = [&] {
    const std::string name = words.empty() ? std::string() : words.front();
    if (name == "--help" || name == "-h") {
      console.Out() << kProgramHelp;
      return kExitSuccess;
    }
    if (name == "--version") {
      console.Out() << kProgramName << ' ' << KESTREL_VERSION << '\n';
      return kExitSuccess;
    }
    for (const Command& command : kCommands) {
      if (command.name == name) return Execute(command, std::move(words), console);
    }
    const UsageError error(name.empty() ? "no command given" : "unknown command \"" + name + "\"");
    return UsageFailure(console, error, kProgramHelp, kProgramName);
  }();
  console.Out().flush();
  if (!console.Out()) {
    console.Error("standard output could not be written");
    return kExitFailure;
  }
  return status;
}

}  // namespace kestrel::cli
