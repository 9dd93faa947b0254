#include "tests/support/TestSupport.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>

#include <unistd.h>

namespace kestrel::test {

namespace fs = std::filesystem;

fs::path DataFile(const std::string& name) { return fs::path(KESTREL_SOURCE_DIR) / "tests" / "data" / name; }

fs::path TestScript(const std::string& relative) { return fs::path(KESTREL_SOURCE_DIR) / "tests" / relative; }

namespace {

// ../shared/FOLDER beside the checkout, or where the variable points, when it holds docs/.
std::optional<fs::path> SharedCorpusDir(const char* variable, const char* folder) {
  fs::path dir;
  if (const char* env = std::getenv(variable)) {
    dir = env;
  } else {
    dir = fs::path(KESTREL_SOURCE_DIR).parent_path() / "shared" / folder;
  }
  if (fs::is_directory(dir / "docs")) return dir;
  return std::nullopt;
}

}  // namespace

std::optional<fs::path> PublicCorpusDir() { return SharedCorpusDir("KESTREL_PUBLIC_CORPUS", "corpus-public"); }

std::optional<fs::path> OfficeCorpusDir() { return SharedCorpusDir("KESTREL_OFFICE_CORPUS", "corpus-office"); }

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "kestrel-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Tests leave read-only files behind; make everything writable before removing it.
  for (auto it = fs::recursive_directory_iterator(path_, ignored); it != fs::recursive_directory_iterator(); ++it) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, ignored);
}

fs::path TempDir::Copy(const fs::path& source, const std::string& name) const {
  fs::path target = path_ / (name.empty() ? source.filename().string() : name);
  fs::copy_file(source, target, fs::copy_options::overwrite_existing);
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
  return target;
}

std::vector<std::uint8_t> ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

ScopedTimeZone::ScopedTimeZone(const char* zone) {
  if (const char* old = std::getenv("TZ")) old_ = old;
  setenv("TZ", zone, 1);
  tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
  if (old_) {
    setenv("TZ", old_->c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  std::array<char, 4096> buffer{};
  std::size_t n = 0;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.output.append(buffer.data(), n);
  int status = pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string ShellQuote(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::optional<std::string> OlefilePython() {
  static const std::optional<std::string> python = []() -> std::optional<std::string> {
    const std::string candidate = "/usr/bin/python3";
    if (RunCommand(candidate + " -c 'import olefile'").exitCode == 0) return candidate;
    std::cout << "[  SKIPPED ] python3-olefile is not installed (scripts/setup.sh installs it)\n";
    return std::nullopt;
  }();
  return python;
}

}  // namespace kestrel::test
