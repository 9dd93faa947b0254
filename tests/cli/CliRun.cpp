#include "tests/cli/CliRun.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/TestSupport.h"

namespace kestrel::test {

namespace fs = std::filesystem;

std::string CliCommand(const std::vector<std::string>& words, const fs::path& folder, const std::string& environment) {
  std::string command =
      "cd " + ShellQuote(folder.string()) + " && TZ=Asia/Tokyo " + environment + " " + ShellQuote(KESTREL_CLI);
  for (const std::string& word : words) command += " " + ShellQuote(word);
  return command;
}

std::vector<std::string> Concat(std::vector<std::string> first, const std::vector<std::string>& rest) {
  first.insert(first.end(), rest.begin(), rest.end());
  return first;
}

CliResult RunCli(const std::vector<std::string>& words, const fs::path& folder, const std::string& environment) {
  const TempDir scratch;
  const fs::path errFile = scratch.Path() / "stderr.txt";
  // Standard error to a file of its own; RunCommand's own 2>&1 then applies to the group only.
  const CommandResult run =
      RunCommand("{ " + CliCommand(words, folder, environment) + " 2>" + ShellQuote(errFile.string()) + "; }");
  CliResult result{run.exitCode, run.output, {}};
  const std::vector<std::uint8_t> err = ReadBytes(errFile);
  result.err.assign(err.begin(), err.end());
  EXPECT_EQ(result.err.find("Sanitizer"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("runtime error"), std::string::npos) << result.err;
  return result;
}

namespace {

// The text file_state.py printed as hex, "-" for none.
std::string TextOfHex(const std::string& hex) {
  std::string text;
  for (std::size_t i = 0; hex != "-" && i + 1 < hex.size(); i += 2) {
    text += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return text;
}

CommandResult RunFileState(const std::vector<std::string>& words) {
  std::string command = "/usr/bin/python3 " + ShellQuote(TestScript("cli/file_state.py").string());
  for (const std::string& word : words) command += " " + ShellQuote(word);
  return RunCommand(command);
}

}  // namespace

std::string FileStateOutput(const std::vector<std::string>& words) {
  const CommandResult run = RunFileState(words);
  EXPECT_EQ(run.exitCode, 0) << words.front() << "\n" << run.output;
  return run.output;
}

FileState ReadFileState(const fs::path& file) {
  std::istringstream in(FileStateOutput({"state", file.string()}));
  FileState state;
  in >> std::oct >> state.mode >> std::dec >> state.atimeNs >> state.mtimeNs >> state.attributes >> state.creation;
  EXPECT_FALSE(in.fail()) << file;
  return state;
}

void SetTimes(const fs::path& file, std::int64_t atimeNs, std::int64_t mtimeNs) {
  FileStateOutput({"times", file.string(), std::to_string(atimeNs), std::to_string(mtimeNs)});
}

bool SetDosAttrib(const fs::path& file, std::uint32_t attributes, std::uint64_t creationFileTime) {
  return RunFileState({"dosattrib", file.string(), std::to_string(attributes), std::to_string(creationFileTime)})
             .exitCode == 0;
}

std::map<std::string, std::string> PartTexts(const fs::path& package, const std::string& part) {
  std::istringstream in(FileStateOutput({"part", package.string(), part}));
  std::map<std::string, std::string> texts;
  std::string name;
  std::string hex;
  while (in >> name >> hex) texts[name] = TextOfHex(hex);
  return texts;
}

std::map<std::string, std::string> ZipEntries(const fs::path& package) {
  const CommandResult run = RunCommand("/usr/bin/python3 " + ShellQuote(TestScript("oracle/zip_dump.py").string()) +
                                       " dump " + ShellQuote(package.string()));
  std::map<std::string, std::string> entries;
  if (run.exitCode != 0) return entries;
  std::istringstream lines(run.output);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string kind, name, method, date, crc, size, rest;
    unsigned flags = 0;
    words >> kind >> name >> method >> date >> crc >> size >> flags;
    std::getline(words, rest);
    if (kind == "entry") entries[name] = method + " " + date + " " + crc + " " + size + " " + std::to_string(flags & ~8U) + rest;
  }
  return entries;
}

std::string Hex(const std::string& text) {
  static const char* digits = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : text) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  return hex;
}

int TextType(const PropertyDump& dump, std::uint32_t pid) {
  const auto found = dump.properties.find({0, pid});
  return found == dump.properties.end() ? 30 : std::stoi(found->second);
}

std::optional<std::array<std::string, 14>> ShownRows(const std::string& output, const std::string& name) {
  const std::string separator = "\",\"";
  std::size_t at = output.find(separator + name + separator);
  if (at == std::string::npos) return std::nullopt;
  at += 2 * separator.size() + name.size();
  std::array<std::string, 14> rows;
  for (std::string& row : rows) {
    const std::size_t end = output.find(separator, at);
    if (end == std::string::npos) return std::nullopt;
    row = output.substr(at, end - at);
    at = end + separator.size();
  }
  return rows;
}

std::vector<std::vector<std::string>> CsvRecords(const fs::path& file) {
  std::istringstream in(FileStateOutput({"csv", file.string()}));
  std::vector<std::vector<std::string>> records;
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::vector<std::string>& record = records.emplace_back();
    for (std::string hex; fields >> hex;) record.push_back(TextOfHex(hex));
  }
  return records;
}

std::int64_t TokyoSeconds(std::chrono::year_month_day date, std::chrono::seconds timeOfDay) {
  const std::chrono::sys_seconds utc = std::chrono::sys_days(date) + timeOfDay - std::chrono::hours(9);
  return utc.time_since_epoch().count();
}

std::int64_t Nanoseconds(std::int64_t seconds) { return seconds * 1'000'000'000; }

std::uint64_t FileTimeOfSeconds(std::int64_t seconds) {
  constexpr std::int64_t kSecondsFrom1601To1970 = 11'644'473'600;
  return static_cast<std::uint64_t>(seconds + kSecondsFrom1601To1970) * 10'000'000;
}

}  // namespace kestrel::test
