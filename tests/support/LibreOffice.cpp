#include "tests/support/LibreOffice.h"

#include <fstream>
#include <iostream>
#include <iterator>

#include "tests/support/TestSupport.h"

namespace kestrel::test {

std::optional<std::string> Soffice() {
  static const std::optional<std::string> soffice = []() -> std::optional<std::string> {
    if (RunCommand("command -v soffice").exitCode == 0) return std::string("soffice");
    std::cout << "[  SKIPPED ] LibreOffice is not installed (scripts/setup.sh test installs it)\n";
    return std::nullopt;
  }();
  return soffice;
}

namespace {

// The converted file in `work`, or nullopt when LibreOffice cannot convert the document.
std::optional<std::filesystem::path> Convert(const std::filesystem::path& document, const std::string& format,
                                             const TempDir& work) {
  const auto soffice = Soffice();
  if (!soffice) return std::nullopt;
  // Each run gets its own profile, so runs in parallel do not share one.
  const auto result = RunCommand(*soffice + " -env:UserInstallation=file://" + work.Path().string() + "/profile" +
                                 " --headless --convert-to " + format + " --outdir " +
                                 ShellQuote(work.Path().string()) + " " + ShellQuote(document.string()));
  const auto converted = work.Path() / (document.stem().string() + "." + format.substr(0, format.find(':')));
  if (result.exitCode != 0 || !std::filesystem::exists(converted)) return std::nullopt;
  return converted;
}

}  // namespace

std::optional<std::string> ConvertToText(const std::filesystem::path& document) {
  const TempDir work;
  const auto converted = Convert(document, "txt:Text", work);
  if (!converted) return std::nullopt;
  std::ifstream in(*converted, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

namespace {

// What an oracle script prints of the converted document.
std::optional<std::string> ReadConverted(const std::filesystem::path& document, const std::string& format,
                                         const char* script) {
  const TempDir work;
  const auto converted = Convert(document, format, work);
  if (!converted) return std::nullopt;
  const auto text = RunCommand("/usr/bin/python3 " + ShellQuote(TestScript(std::string("oracle/") + script).string()) +
                               " " + ShellQuote(converted->string()));
  if (text.exitCode != 0) return std::nullopt;
  return text.output;
}

}  // namespace

std::optional<std::string> ConvertToOpenDocumentText(const std::filesystem::path& document, const std::string& format) {
  return ReadConverted(document, format, "odf_text.py");
}

std::optional<std::string> ConvertToOpenDocumentUserDefined(const std::filesystem::path& document,
                                                            const std::string& format) {
  return ReadConverted(document, format, "odf_user_defined.py");
}

}  // namespace kestrel::test
