#include "tests/support/DosAttribOracle.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/TestSupport.h"

namespace kestrel::test {

std::optional<DosAttribReading> ReadDosAttrib(const std::filesystem::path& file) {
  const auto python = OlefilePython();
  if (!python) return std::nullopt;
  const auto result = RunCommand(*python + " " + ShellQuote(TestScript("oracle/dosattrib.py").string()) + " " +
                                 ShellQuote(file.string()));
  if (result.exitCode != 0) {
    ADD_FAILURE() << "dosattrib.py: " << result.output;
    return std::nullopt;
  }
  DosAttribReading reading;
  if (result.output.rfind("none", 0) == 0) return reading;
  std::istringstream words(result.output);
  std::string word, creation;
  words >> word >> creation;
  reading.present = true;
  reading.attributes = static_cast<std::uint32_t>(std::stoul(word, nullptr, 16));
  if (creation != "-") reading.creation = std::stoull(creation);
  return reading;
}

}  // namespace kestrel::test
