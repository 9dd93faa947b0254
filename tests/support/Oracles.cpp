#include "tests/support/Oracles.h"

#include <sstream>
#include <utility>
#include <vector>

#include "platform/LittleEndian.h"
#include "tests/support/TestSupport.h"

namespace kestrel::test {

namespace {

// The script's output, or nullopt with its complaint in *error.
std::optional<std::string> RunOracle(const std::string& script, const std::string& arguments,
                                     std::string* error = nullptr) {
  const auto python = OlefilePython();
  if (!python) return std::nullopt;
  auto result = RunCommand(*python + " " + ShellQuote(TestScript("oracle/" + script).string()) + " " + arguments);
  if (result.exitCode == 0) return std::move(result.output);
  if (error != nullptr) *error = std::move(result.output);
  return std::nullopt;
}

}  // namespace

std::optional<std::map<std::string, DumpedStream>> OlefileDump(const std::filesystem::path& file,
                                                               const std::string& flags,
                                                               std::string* error) {
  const auto output = RunOracle("cfb_dump.py", flags + " " + ShellQuote(file.string()), error);
  if (!output) return std::nullopt;
  std::map<std::string, DumpedStream> streams;
  std::istringstream lines(*output);
  std::string word, path;
  while (lines >> word) {
    if (word != "stream") continue;
    DumpedStream stream;
    lines >> path >> stream.size >> stream.sha256;
    std::u16string part;
    for (std::size_t i = 0; i < path.size(); ++i) {
      if (path[i] == '/') {
        stream.path.push_back(std::exchange(part, {}));
      } else if (path[i] == '\\' && i + 1 < path.size() && (path[i + 1] == 'x' || path[i + 1] == 'u')) {
        const std::size_t digits = path[i + 1] == 'x' ? 2 : 4;
        part.push_back(static_cast<char16_t>(std::stoul(path.substr(i + 2, digits), nullptr, 16)));
        i += 1 + digits;
      } else {
        part.push_back(static_cast<char16_t>(path[i]));
      }
    }
    stream.path.push_back(part);
    streams[path] = stream;
  }
  return streams;
}

std::optional<StreamHashes> DumpStreams(const std::filesystem::path& file) {
  const auto dump = OlefileDump(file);
  if (!dump) return std::nullopt;
  StreamHashes hashes;
  for (const auto& [path, stream] : *dump) hashes[path] = std::to_string(stream.size) + " " + stream.sha256;
  return hashes;
}

std::optional<PropertyDump> DumpPropertySet(const std::filesystem::path& file, const std::string& stream) {
  const auto output = RunOracle("propset_dump.py", ShellQuote(file.string()) + " " + ShellQuote(stream));
  if (!output) return std::nullopt;
  PropertyDump dump;
  std::istringstream lines(*output);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string kind;
    int section = 0;
    words >> kind >> section;
    std::string rest;
    std::getline(words >> std::ws, rest);
    if (kind == "section") {
      dump.sections[section] = rest;
    } else if (kind == "prop") {
      std::istringstream fields(rest);
      std::uint32_t pid = 0;
      fields >> pid;
      std::string value;
      std::getline(fields >> std::ws, value);
      while (!value.empty() && value.back() == ' ') value.pop_back();
      dump.properties[{section, pid}] = value;
    }
  }
  return dump;
}

std::optional<DocumentSnapshot> TakeSnapshot(const std::filesystem::path& file) {
  auto streams = DumpStreams(file);
  auto summary = DumpPropertySet(file, "SummaryInformation");
  if (!streams || !summary) return std::nullopt;
  return DocumentSnapshot{*streams, *summary, DumpPropertySet(file, "DocumentSummaryInformation")};
}

std::string DumpedText(int vartype, std::string_view utf8) {
  static const char* digits = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : utf8) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  return hex.empty() ? std::to_string(vartype) : std::to_string(vartype) + " " + hex;
}

std::optional<std::string> StreamBytes(const std::filesystem::path& file, const std::string& stream,
                                       std::uint64_t offset, std::size_t count) {
  auto output = RunOracle("stream_bytes.py", ShellQuote(file.string()) + " " + ShellQuote(stream) + " " +
                                                 std::to_string(offset) + " " + std::to_string(count));
  if (output) {
    while (!output->empty() && output->back() == '\n') output->pop_back();
  }
  return output;
}

std::optional<std::uint64_t> StreamNumber(const std::filesystem::path& file, const std::string& stream,
                                          std::uint64_t offset, std::size_t width) {
  const std::optional<std::string> hex = StreamBytes(file, stream, offset, width);
  if (!hex || hex->size() != 2 * width) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < hex->size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex->substr(i, 2), nullptr, 16)));
  }
  return le::Get(bytes.data(), width);
}

}  // namespace kestrel::test
