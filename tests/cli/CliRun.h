#pragma once
// Running the built kestrelpad-cli in a folder, and the independent view of the files it touched
// (file_state.py beside this file).

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/Oracles.h"

namespace kestrel::test {

struct CliResult {
  int exitCode = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

// The shell command that runs kestrelpad-cli with `words` in `folder`, in the time zone the test
// documents' expected values are given in, with `environment` ("NAME=value ...") besides.
std::string CliCommand(const std::vector<std::string>& words, const std::filesystem::path& folder,
                       const std::string& environment = "");

// The words of `first` followed by those of `rest`.
std::vector<std::string> Concat(std::vector<std::string> first, const std::vector<std::string>& rest);

// Runs it; fails the test when a sanitizer reported anything.
CliResult RunCli(const std::vector<std::string>& words, const std::filesystem::path& folder,
                 const std::string& environment = "");

// What file_state.py prints for these words; fails the test when it fails.
std::string FileStateOutput(const std::vector<std::string>& words);

// A file's permission bits, times and attribute store, as the script sees them.
struct FileState {
  unsigned mode = 0;
  std::int64_t atimeNs = 0;
  std::int64_t mtimeNs = 0;
  std::string attributes;  // the blob's attribute word in decimal, "-" when none
  std::string creation;    // the blob's creation FILETIME in decimal, "-" when none
  bool operator==(const FileState&) const = default;
};
FileState ReadFileState(const std::filesystem::path& file);

// Last-access and last-write times, to the nanosecond.
void SetTimes(const std::filesystem::path& file, std::int64_t atimeNs, std::int64_t mtimeNs);
// Samba's attribute store with this attribute word and creation time; false when the file system
// keeps no user.* extended attributes.
[[nodiscard]] bool SetDosAttrib(const std::filesystem::path& file, std::uint32_t attributes, std::uint64_t creationFileTime);

// Element name -> UTF-8 text of a package part, read by Python's zipfile and ElementTree.
std::map<std::string, std::string> PartTexts(const std::filesystem::path& package, const std::string& part);

// Python's zipfile view of a package: entry name (hex) -> every fact of the entry, its stored and
// its unpacked bytes included, except the data-descriptor flag: a rewritten package states sizes
// and CRC in the local header instead. Empty when zipfile cannot open it.
std::map<std::string, std::string> ZipEntries(const std::filesystem::path& package);

// The lower-case hex of the text's bytes.
std::string Hex(const std::string& text);

// The type a text property is written with: the one it had, else a plain string.
int TextType(const PropertyDump& dump, std::uint32_t pid);

// The 14 property fields of `name`'s line in show's output, or nullopt when it has no line.
std::optional<std::array<std::string, 14>> ShownRows(const std::string& output, const std::string& name);

// The records of a code page 932 CSV file as Python's csv module reads them, fields in UTF-8.
std::vector<std::vector<std::string>> CsvRecords(const std::filesystem::path& file);

// Seconds since 1970 of a wall-clock time in Tokyo (UTC+9, no daylight saving).
std::int64_t TokyoSeconds(std::chrono::year_month_day date, std::chrono::seconds timeOfDay);
std::int64_t Nanoseconds(std::int64_t seconds);
std::uint64_t FileTimeOfSeconds(std::int64_t seconds);

}  // namespace kestrel::test
