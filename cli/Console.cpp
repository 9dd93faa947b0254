#include "cli/Console.h"

namespace kestrel::cli {

std::string ShownName(std::string_view name) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string shown;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      shown += "\\\\";
    } else if (c == '\n') {
      shown += "\\n";
    } else if (c == '\t') {
      shown += "\\t";
    } else if (byte < 0x20 || byte == 0x7f) {
      shown += {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 0x0f]};
    } else {
      shown += c;
    }
  }
  return shown;
}

void Console::Problem(const std::string& file, const std::string& message) { Error(ShownName(file) + ": " + message); }

void Console::Error(const std::string& message) {
  out_.flush();
  err_ << kProgramName << ": " << message << '\n';
}

}  // namespace kestrel::cli
