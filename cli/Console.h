#pragma once
// Where a command writes: its results on one stream, what went wrong on the other.

#include <ostream>
#include <string>
#include <string_view>

namespace kestrel::cli {

inline constexpr std::string_view kProgramName = "kestrelpad-cli";

// A file name as a status line shows it: control characters and the backslash escaped (\n, \t,
// \xHH, \\), so no name can break a line or forge another one.
std::string ShownName(std::string_view name);

class Console {
 public:
  Console(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  std::ostream& Out() { return out_; }
  std::ostream& Err() { return err_; }

  // "kestrelpad-cli: FILE: message", the name as ShownName shows it. The results written so far go out first, so that both
  // streams read in order on one terminal.
  void Problem(const std::string& file, const std::string& message);
  // "kestrelpad-cli: message".
  void Error(const std::string& message);

 private:
  std::ostream& out_;
  std::ostream& err_;
};

}  // namespace kestrel::cli
