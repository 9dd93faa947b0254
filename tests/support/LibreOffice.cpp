#include "tests/support/LibreOffice.h"

#include <fstream>
#include <iostream>
#include <iterator>

#include "tests/support/TestSupport.h"

namespace kestrel::test {

std::optional<std::string> Soffice() {
  static const std::optional<std::string> soffice = []() -> std::optional<std::string> {
    if (RunCommand("command -v soffice").exitCode == 0) return std::string("soffice");
    std::cout << "[  SKIPPED ] LibreOffice is not installed (scripts/setup.sh installs libreoffice-writer-nogui)\n";
    return std::nullopt;
  }();
  return soffice;
}

std::optional<std::string> ConvertToText(const std::filesystem::path& document) {
  const auto soffice = Soffice();
  if (!soffice) return std::nullopt;
  // Each run gets its own profile, so runs in parallel do not share one.
  const TempDir work;
  const auto result = RunCommand(*soffice + " -env:UserInstallation=file://" + work.Path().string() + "/profile" +
                                 " --headless --convert-to txt:Text --outdir " + ShellQuote(work.Path().string()) + " " +
                                 ShellQuote(document.string()));
  std::ifstream in(work.Path() / (document.stem().string() + ".txt"), std::ios::binary);
  if (result.exitCode != 0 || !in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace kestrel::test
