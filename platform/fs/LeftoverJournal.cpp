#include "platform/fs/LeftoverJournal.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <sstream>
#include <vector>

namespace kestrel::fs {

namespace {

// Lines: "+ID R DEV INO BACKEND ATTRIBUTES MODE BLOB PATH" (a lifted read-only state; BLOB is hex
// or "-" for none), "+ID T DEV INO PATH" (a temporary name), "+ID L DEV INO PATH" (an extra name)
// and "-ID" (closed). Paths are hex, so
// no name can break a line.
std::string Hex(const void* data, std::size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

std::optional<std::string> Unhex(const std::string& text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    unsigned value = 0;
    if (std::sscanf(text.c_str() + i, "%2x", &value) != 1) return std::nullopt;
    bytes += static_cast<char>(value);
  }
  return bytes;
}

std::string JournalFolder() {
  std::string state;
  if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg != nullptr && xdg[0] == '/') {
    state = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
      const passwd* user = ::getpwuid(::getuid());
      home = user != nullptr ? user->pw_dir : nullptr;
    }
    if (home == nullptr || home[0] != '/') return {};
    state = std::string(home) + "/.local/state";
  }
  return state + "/kestrelpad/journal";
}

// mkdir -p, private to the user where it creates.
bool MakeFolders(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

// This process's journal, made when first needed and removed when the process ends normally.
class Journal {
 public:
  ~Journal() {
    if (fd_ < 0 || creator_ != ::getpid()) return;
    if (open_ == 0) ::unlink(path_.c_str());
    ::close(fd_);
  }

  std::uint64_t Open(const std::string& what) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!Ready()) return 0;
    const std::uint64_t id = next_++;
    if (!Append('+', id, what)) return 0;
    ++open_;
    return id;
  }

  void Close(std::uint64_t id) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (fd_ >= 0 && creator_ == ::getpid() && Append('-', id, {})) --open_;
  }

  std::string Path() {
    std::lock_guard<std::mutex> guard(mutex_);
    return creator_ == ::getpid() ? path_ : std::string();
  }

 private:
  bool Ready() {
    if (tried_ && creator_ == ::getpid()) return fd_ >= 0;
    // A forked child notes in a journal of its own: the parent's lock says nothing of the child.
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    open_ = 0;
    tried_ = true;
    creator_ = ::getpid();
    const std::string folder = JournalFolder();
    if (folder.empty() || !MakeFolders(folder)) return false;
    std::random_device random;
    path_ = folder + "/" + std::to_string(::getpid()) + "-" + std::to_string(random());
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
    return fd_ >= 0;
  }

  // One write per line: O_APPEND keeps lines whole, and a kill loses none that returned.
  bool Append(char sign, std::uint64_t id, const std::string& what) {
    std::ostringstream line;
    line << sign << id;
    if (!what.empty()) line << ' ' << what;
    line << '\n';
    const std::string text = line.str();
    return ::write(fd_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  }

  std::mutex mutex_;
  bool tried_ = false;
  pid_t creator_ = 0;
  int fd_ = -1;
  std::string path_;
  std::uint64_t next_ = 1;
  std::size_t open_ = 0;  // entries not yet closed: the file stays for a later repair
};

Journal& ThisProcessJournal() {
  static Journal journal;
  return journal;
}

bool SameFile(const struct stat& info, unsigned long long device, unsigned long long inode) {
  return static_cast<unsigned long long>(info.st_dev) == device && static_cast<unsigned long long>(info.st_ino) == inode;
}

// RemoveAbandoned, when given a device and inode only for that file.
void RemoveIfAbandoned(const std::string& name, std::optional<std::pair<unsigned long long, unsigned long long>> file) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  struct stat opened {};
  struct stat named {};
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 && ::lstat(name.c_str(), &named) == 0 &&
      opened.st_dev == named.st_dev && opened.st_ino == named.st_ino && S_ISREG(named.st_mode) &&
      (!file || SameFile(named, file->first, file->second))) {
    ::unlink(name.c_str());
  }
  ::close(fd);
}

// Undoes one open entry of a dead run's journal.
void Undo(const std::string& entry) {
  std::istringstream words(entry);
  std::string kind;
  unsigned long long device = 0;
  unsigned long long inode = 0;
  words >> kind >> device >> inode;
  if (kind == "T") {
    std::string path;
    words >> path;
    if (const auto name = Unhex(path)) RemoveIfAbandoned(*name, std::pair{device, inode});
    return;
  }
  if (kind == "L") {
    std::string path;
    words >> path;
    const auto name = Unhex(path);
    struct stat info {};
    if (name && ::lstat(name->c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink > 1 &&
        SameFile(info, device, inode)) {
      ::unlink(name->c_str());
    }
    return;
  }
  if (kind != "R") return;
  int backend = 0;
  FileRecord record;
  std::string blob;
  std::string path;
  words >> backend >> record.attributes >> std::oct >> record.mode >> blob >> path;
  const auto name = Unhex(path);
  const auto blobBytes = blob == "-" ? std::optional<std::string>() : Unhex(blob);
  if (!words || !name || (blob != "-" && !blobBytes) || backend < 0 || backend > static_cast<int>(Backend::Fallback)) return;
  record.backend = static_cast<Backend>(backend);
  if (blobBytes) record.dosAttrib.emplace(blobBytes->begin(), blobBytes->end());
  struct stat info {};
  if (::stat(name->c_str(), &info) == 0 && SameFile(info, device, inode)) RestoreFileAttributes(*name, record);
}

// A journal whose process is gone: its open entries undone, the journal removed.
void RepairJournal(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  struct stat opened {};
  struct stat named {};
  // Locked: its process lives. Another name by now: a repair that ran before this one took it.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &opened) != 0 || ::lstat(path.c_str(), &named) != 0 ||
      opened.st_ino != named.st_ino || !S_ISREG(opened.st_mode)) {
    ::close(fd);
    return;
  }
  std::string text;
  char buffer[4096];
  for (ssize_t got = 0; (got = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(got));
  std::map<std::uint64_t, std::string> open;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.size() < 2) continue;
    const std::uint64_t id = std::strtoull(line.c_str() + 1, nullptr, 10);
    if (line[0] == '+' && line.find(' ') != std::string::npos) open[id] = line.substr(line.find(' ') + 1);
    if (line[0] == '-') open.erase(id);
  }
  for (const auto& [id, entry] : open) Undo(entry);
  ::unlink(path.c_str());
  ::close(fd);
}

std::uint64_t OpenEntry(const std::string& what) { return ThisProcessJournal().Open(what); }

// A later run starts in another working folder: the journal keeps names in full.
std::string FullName(const std::string& path) {
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(path, error);
  return error ? path : full.string();
}

}  // namespace

JournalEntry& JournalEntry::operator=(JournalEntry&& other) noexcept {
  if (this != &other) {
    Close();
    id_ = other.id_;
    other.id_ = 0;
  }
  return *this;
}

void JournalEntry::Close() {
  if (id_ != 0) ThisProcessJournal().Close(id_);
  id_ = 0;
}

JournalEntry NoteReadOnlyLifted(const std::string& path, const FileRecord& record) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return JournalEntry();
  const std::string full = FullName(path);
  std::ostringstream entry;
  entry << "R " << info.st_dev << ' ' << info.st_ino << ' ' << static_cast<int>(record.backend) << ' '
        << record.attributes << ' ' << std::oct << record.mode << ' '
        << (record.dosAttrib ? Hex(record.dosAttrib->data(), record.dosAttrib->size()) : std::string("-")) << ' '
        << Hex(full.data(), full.size());
  return JournalEntry(OpenEntry(entry.str()));
}

JournalEntry NoteTemporaryName(const std::string& path, int descriptor) {
  struct stat info {};
  if (::fstat(descriptor, &info) != 0) return JournalEntry();
  const std::string full = FullName(path);
  return JournalEntry(OpenEntry("T " + std::to_string(info.st_dev) + " " + std::to_string(info.st_ino) + " " +
                                Hex(full.data(), full.size())));
}

JournalEntry NoteExtraName(const std::string& path, std::uint64_t device, std::uint64_t inode) {
  const std::string full = FullName(path);
  return JournalEntry(OpenEntry("L " + std::to_string(device) + " " + std::to_string(inode) + " " +
                                Hex(full.data(), full.size())));
}

void RemoveAbandoned(const std::string& path) { RemoveIfAbandoned(path, std::nullopt); }

void RepairLeftovers() {
  const std::string folder = JournalFolder();
  DIR* listing = folder.empty() ? nullptr : ::opendir(folder.c_str());
  if (listing == nullptr) return;
  std::vector<std::string> journals;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = folder + "/" + name;
    if (path != ThisProcessJournal().Path()) journals.push_back(path);
  }
  ::closedir(listing);
  for (const std::string& journal : journals) RepairJournal(journal);
}

}  // namespace kestrel::fs
