#include "export/CsvLines.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <fstream>
#include <optional>
#include <filesystem>
#include <sstream>

#include "catalogue/PropertyCatalogue.h"
#include "platform/text/CodePage.h"

namespace kestrel::csv {
namespace {

using catalogue::Catalogue;

// Bytes of the UTF-8 character at `at`: as many as its lead byte announces and actually follow,
// so that a broken sequence costs one "?" and never swallows the characters after it.
std::size_t CharacterLength(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t expected = 1;
  if (lead >= 0xF0 && lead <= 0xF7) {
    expected = 4;
  } else if (lead >= 0xE0) {
    expected = lead <= 0xEF ? 3 : 1;
  } else if (lead >= 0xC0) {
    expected = 2;
  }
  std::size_t length = 1;
  while (length < expected && at + length < text.size() &&
         (static_cast<unsigned char>(text[at + length]) & 0xC0) == 0x80) {
    ++length;
  }
  return length;
}

// Code page 932 text with "?" for each character the code page cannot hold.
std::string ToShiftJisLossy(std::string_view utf8) {
  if (std::optional<std::string> whole = text::FromUtf8(utf8, text::kCodePageShiftJis)) return *whole;
  std::string bytes;
  for (std::size_t at = 0; at < utf8.size();) {
    const std::size_t length = CharacterLength(utf8, at);
    const std::optional<std::string> one = text::FromUtf8(utf8.substr(at, length), text::kCodePageShiftJis);
    bytes += one ? *one : "?";
    at += length;
  }
  return bytes;
}

// The mask a normal new file gets; read without changing it, since umask() itself sets it.
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) {
      unsigned mask = 0;
      std::istringstream(line.substr(6)) >> std::oct >> mask;
      return static_cast<mode_t>(mask);
    }
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// Fills, syncs and closes the temporary file; the descriptor is closed on every path.
bool FinishTemporary(int fd, std::string_view bytes, mode_t mode, const struct stat* target) {
  bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
  // The owner too where we may (root writing over a user's file): the user must keep it.
  if (ok && target != nullptr) (void)!::fchown(fd, target->st_uid, target->st_gid);
  ok = ok && ::fchmod(fd, mode) == 0;
  return ::close(fd) == 0 && ok;
}

}  // namespace

std::string CsvHeaderLine() {
  std::string line;
  AppendField(line, "File full name", false);
  AppendField(line, "File Name", false);
  for (const catalogue::CatalogueRow& row : Catalogue().Rows()) AppendField(line, row.caption, false);
  for (int i = 0; i < catalogue::kLabelCount; ++i) {
    AppendField(line, Catalogue().Label(i), i + 1 == catalogue::kLabelCount);
  }
  return line;
}

void AppendField(std::string& line, std::string_view value, bool last) {
  line += '"';
  line += value;
  line += last ? "\"" : "\",";
}

std::string CsvFileName(std::string_view fullPath) {
  const std::size_t separator = fullPath.find_last_of("/\\:");
  return std::string(separator == std::string_view::npos ? fullPath : fullPath.substr(separator + 1));
}

bool WriteCsvLines(const std::string& requestedPath, const std::vector<std::string>& lines) {
  if (requestedPath.empty() || requestedPath.back() == '/') return false;
  // Through symbolic links to the file they name, so that a link stays a link.
  std::error_code error;
  std::string path = std::filesystem::weakly_canonical(requestedPath, error).string();
  if (error || path.empty()) path = requestedPath;
  struct stat target {};
  const bool exists = ::stat(path.c_str(), &target) == 0;
  // Only a regular file may be replaced: never a folder or a device.
  if (exists && !S_ISREG(target.st_mode)) return false;
  if (!exists && errno != ENOENT) return false;
  const mode_t mode = exists ? (target.st_mode & 07777) : (0666 & ~CurrentUmask());

  std::string bytes;
  for (const std::string& line : lines) {
    bytes += ToShiftJisLossy(line);
    bytes += "\r\n";
  }

  // Beside the target, so that the rename stays on one file system and is one step.
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  std::string temporary = folder + "/.kestrel-csv-XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return false;
  if (!FinishTemporary(fd, bytes, mode, exists ? &target : nullptr) ||
      ::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  // Makes the rename itself durable; the file is complete under its name either way.
  const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    (void)::fsync(folderFd);
    ::close(folderFd);
  }
  return true;
}

}  // namespace kestrel::csv
