#pragma once
// Helpers shared by the tests: data files, temporary folders, pinned time zones and the
// independent readers run as separate processes.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kestrel::test {

// The checked-in test documents (tests/data).
std::filesystem::path DataFile(const std::string& name);
// A tests/ script (for example "oracle/olefile_dump.py").
std::filesystem::path TestScript(const std::string& relative);

// ../shared/corpus-public/docs beside the checkout (or $KESTREL_PUBLIC_CORPUS), when present.
std::optional<std::filesystem::path> PublicCorpusDir();
// ../shared/corpus-office (Excel, PowerPoint and Word variants), or $KESTREL_OFFICE_CORPUS.
std::optional<std::filesystem::path> OfficeCorpusDir();

// A fresh folder, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  // A writable copy of `source` in this folder, under `name` (the source's name by default).
  std::filesystem::path Copy(const std::filesystem::path& source, const std::string& name = {}) const;

 private:
  std::filesystem::path path_;
};

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& file);
void WriteBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes);

// Sets TZ for the life of the object and puts the old value back afterwards.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone);
  ~ScopedTimeZone();
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> old_;
};

struct CommandResult {
  int exitCode = -1;
  std::string output;  // standard output and standard error together
};
CommandResult RunCommand(const std::string& command);
// Quotes a path or word for /bin/sh.
std::string ShellQuote(const std::string& word);

// Debian's python3 with python3-olefile importable; empty with the reason printed when absent.
std::optional<std::string> OlefilePython();

}  // namespace kestrel::test
