#include "cli/Console.h"

namespace kestrel::cli {

void Console::Problem(const std::string& file, const std::string& message) { Error(file + ": " + message); }

void Console::Error(const std::string& message) {
  out_.flush();
  err_ << kProgramName << ": " << message << '\n';
}

}  // namespace kestrel::cli
