#include "platform/fs/FileIo.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/fs/StoredState.h"

namespace kestrel::fs {

namespace {

// A file opened only for reading cannot take a write lock: it holds a read lock, which keeps
// writers out, and `probeWriters` makes sure nobody else holds one either, as a write lock would.
// Programs that lock with flock (BSD locks) do not see record locks, nor we theirs: both are taken.
OpenFailure LockAgainstOthers(int fd, bool exclusive, bool probeWriters) {
  if (probeWriters) {
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    if (::fcntl(fd, F_OFD_GETLK, &probe) != 0) return OpenFailure::Other;
    if (probe.l_type != F_UNLCK) return OpenFailure::Locked;
  }
  while (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) return OpenFailure::Locked;
    break;  // a file system without flock: the record lock is all there is
  }
  return OpenFailure::None;
}

// The lock of an open: an open-file-description lock of the file, shared for reading.
OpenFailure TakeLocks(int fd, bool write, bool exclusive) {
  struct flock lock {};
  lock.l_type = write ? F_WRLCK : F_RDLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;  // the whole file, however it grows
  while (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EACCES) return OpenFailure::Locked;
    return OpenFailure::Other;
  }
  return LockAgainstOthers(fd, exclusive, exclusive && !write);
}

// Copies that go through our memory do so in pieces of this size.
constexpr std::uint64_t kCopyChunk = 1 << 20;

class PosixFile final : public RandomAccessFile {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override { ::close(fd_); }  // closing the description drops its OFD lock
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  // Taken once the lock is held; from then on only our own writes change it.
  void SetSize(std::uint64_t size) { size_ = size; }
  std::uint64_t Size() const override { return size_; }

  Outcome ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override {
    auto* out = static_cast<unsigned char*>(buffer);
    while (n > 0) {
      ssize_t got = ::pread(fd_, out, n, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got == 0) return Failed("cannot read", offset, "the file ends before the bytes asked for");
      if (got < 0) return Failed("cannot read", offset);
      out += got;
      offset += static_cast<std::uint64_t>(got);
      n -= static_cast<std::size_t>(got);
    }
    return Outcome::Success();
  }

  Outcome WriteAt(std::uint64_t offset, const void* data, std::size_t n) override {
    const auto* in = static_cast<const unsigned char*>(data);
    while (n > 0) {
      ssize_t put = ::pwrite(fd_, in, n, static_cast<off_t>(offset));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return Failed("cannot write", offset);
      in += put;
      offset += static_cast<std::uint64_t>(put);
      n -= static_cast<std::size_t>(put);
      size_ = std::max(size_, offset);
    }
    return Outcome::Success();
  }

  Outcome CopyFrom(RandomAccessFile& source, std::uint64_t sourceOffset, std::uint64_t offset, std::uint64_t n) override {
    auto* posix = dynamic_cast<PosixFile*>(&source);
    auto in = static_cast<off_t>(sourceOffset);
    auto out = static_cast<off_t>(offset);
    while (posix != nullptr && n > 0) {
      const ssize_t copied = ::copy_file_range(posix->fd_, &in, fd_, &out, n, 0);
      if (copied < 0 && errno == EINTR) continue;
      // Some file systems cannot copy in the kernel; the rest goes through a buffer then.
      if (copied < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) break;
      if (copied == 0) return Failed("cannot copy", offset, "the source ends before the bytes asked for");
      if (copied < 0) return Failed("cannot copy", static_cast<std::uint64_t>(out));
      n -= static_cast<std::uint64_t>(copied);
      size_ = std::max(size_, static_cast<std::uint64_t>(out));
    }
    if (n == 0) return Outcome::Success();
    return RandomAccessFile::CopyFrom(source, static_cast<std::uint64_t>(in), static_cast<std::uint64_t>(out), n);
  }

  Outcome SetTimes(std::optional<Timestamp> lastAccess, std::optional<Timestamp> lastWrite) override {
    const struct timespec times[2] = {TimespecOf(lastAccess), TimespecOf(lastWrite)};
    if (::futimens(fd_, times) == 0) return Outcome::Success();
    return Outcome::Failure(FailureKind::Io, std::string("cannot set its times: ") + std::strerror(errno));
  }

  std::optional<FileRecord> Record() const override {
    const std::optional<StoredState> state = ReadStoredState(fd_);
    if (!state) return std::nullopt;
    return state->Record();
  }

  std::optional<FileIdentity> Identity() const override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                        static_cast<std::uint64_t>(st.st_size),
                        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec,
                        static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec};
  }

  Outcome LockToReplace() override {
    const OpenFailure locked = LockAgainstOthers(fd_, true, true);
    return DescribeOpenError({nullptr, locked, locked == OpenFailure::Other ? errno : 0});
  }

  Outcome Truncate(std::uint64_t size) override {
    while (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
      if (errno != EINTR) return Failed("cannot cut the file", size);
    }
    size_ = size;
    return Outcome::Success();
  }

  Outcome Sync() override {
    while (::fdatasync(fd_) != 0) {
      if (errno != EINTR) return Outcome::Failure(FailureKind::Io, std::string("cannot flush: ") + std::strerror(errno));
    }
    return Outcome::Success();
  }

 private:
  // "cannot write at offset 4096: No space left on device": the system's words unless given.
  static Outcome Failed(const char* what, std::uint64_t offset, const char* why = nullptr) {
    return Outcome::Failure(FailureKind::Io, std::string(what) + " at offset " + std::to_string(offset) + ": " +
                                                 (why != nullptr ? why : std::strerror(errno)));
  }

  int fd_;
  std::uint64_t size_ = 0;
};

// Refused permission is a read-only file only to a writer; to a reader it is an unreadable file.
OpenFailure ErrorFromErrno(int error, bool write) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
    case EISDIR:
      return OpenFailure::NotFound;
    case EROFS:
      return OpenFailure::ReadOnly;
    case EACCES:
    case EPERM:
      return write ? OpenFailure::ReadOnly : OpenFailure::Other;
    default:
      return OpenFailure::Other;
  }
}

std::mutex& OpenerMutex() {
  static std::mutex mutex;
  return mutex;
}

FileOpener& InstalledOpener() {
  static FileOpener opener;
  return opener;
}

}  // namespace

struct timespec TimespecOf(std::optional<Timestamp> timestamp) {
  struct timespec result {};
  if (!timestamp) {
    result.tv_nsec = UTIME_OMIT;
    return result;
  }
  result.tv_sec = static_cast<time_t>(timestamp->seconds);
  result.tv_nsec = static_cast<long>(timestamp->nanoseconds);
  return result;
}

Outcome RandomAccessFile::CopyFrom(RandomAccessFile& source, std::uint64_t sourceOffset, std::uint64_t offset,
                                   std::uint64_t n) {
  std::vector<unsigned char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(n, kCopyChunk)));
  while (n > 0) {
    const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(n, buffer.size()));
    if (Outcome read = source.ReadAt(sourceOffset, buffer.data(), chunk); !read) return read;
    if (Outcome written = WriteAt(offset, buffer.data(), chunk); !written) return written;
    sourceOffset += chunk;
    offset += chunk;
    n -= chunk;
  }
  return Outcome::Success();
}

Outcome RandomAccessFile::SetTimes(std::optional<Timestamp>, std::optional<Timestamp>) {
  return Outcome::Failure(FailureKind::Io, "cannot set its times: the file is not on a disk");
}

Outcome RandomAccessFile::Truncate(std::uint64_t) {
  return Outcome::Failure(FailureKind::Io, "cannot cut the file: it is not on a disk");
}

std::optional<FileIdentity> RandomAccessFile::Identity() const { return std::nullopt; }

Outcome RandomAccessFile::LockToReplace() { return Outcome::Success(); }

std::optional<FileRecord> RandomAccessFile::Record() const { return std::nullopt; }

OpenResult OpenPosixFile(const std::string& path, OpenMode mode) {
  const bool write = mode == OpenMode::ReadWrite || mode == OpenMode::ReadWriteDespiteReadOnly;
  const bool exclusive = mode != OpenMode::Read && mode != OpenMode::ReadUnderOwnLock;
  // O_NONBLOCK: a FIFO named like a document must not hang the open (regular files ignore it).
  const int flags = (write ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK;
  // Looking at a document, or planning a change that is then refused, leaves its last-access time
  // alone where we may ask for that (the owner, or root); elsewhere the time is put back afterwards.
  int fd = ::open(path.c_str(), flags | O_NOATIME);
  if (fd < 0) fd = ::open(path.c_str(), flags);
  if (fd < 0) return {nullptr, ErrorFromErrno(errno, write), errno};
  auto file = std::make_unique<PosixFile>(fd);  // owns fd from here on

  if (mode != OpenMode::ReadUnderOwnLock) {
    if (const OpenFailure locked = TakeLocks(fd, write, exclusive); locked != OpenFailure::None) {
      return {nullptr, locked, locked == OpenFailure::Other ? errno : 0};
    }
  }

  // Looked at under the lock, so the size cannot change behind us.
  struct stat st {};
  if (::fstat(fd, &st) != 0) return {nullptr, OpenFailure::Other, errno};
  if (!S_ISREG(st.st_mode)) return {nullptr, OpenFailure::NotFound};
  // Root opens anything O_RDWR; the owner write bit is what says "read-only document".
  if (mode == OpenMode::ReadWrite && (st.st_mode & S_IWUSR) == 0) return {nullptr, OpenFailure::ReadOnly};
  file->SetSize(static_cast<std::uint64_t>(st.st_size));
  return {std::move(file), OpenFailure::None};
}

Outcome DescribeOpenError(const OpenResult& result) {
  switch (result.error) {
    case OpenFailure::None:
      return Outcome::Success();
    case OpenFailure::NotFound:
      return Outcome::Failure(FailureKind::NotFound, "no such file");
    case OpenFailure::Locked:
      return Outcome::Failure(FailureKind::HeldOpen, "held open by another program");
    case OpenFailure::ReadOnly:
      if (result.systemError != 0) {
        return Outcome::Failure(FailureKind::ReadOnly, std::string("cannot be opened: ") + std::strerror(result.systemError));
      }
      return Outcome::Failure(FailureKind::ReadOnly, "read-only");
    case OpenFailure::Other:
      break;
  }
  return Outcome::Failure(FailureKind::Io, std::string("cannot be opened: ") +
                                               (result.systemError != 0 ? std::strerror(result.systemError) : "unknown error"));
}

Outcome DescribeUnrecordedFile(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) return Outcome::Failure(FailureKind::NotFound, "no such file");
    return Outcome::Failure(FailureKind::NotFound, std::string("cannot be looked up: ") + std::strerror(errno));
  }
  if (S_ISDIR(info.st_mode)) return Outcome::Failure(FailureKind::NotFound, "is a folder, not a file");
  if (!S_ISREG(info.st_mode)) return Outcome::Failure(FailureKind::NotFound, "is not a regular file");
  return Outcome::Failure(FailureKind::NotFound, "its times and attributes cannot be read");
}

void SetFileOpener(FileOpener opener) {
  std::lock_guard<std::mutex> guard(OpenerMutex());
  InstalledOpener() = std::move(opener);
}

OpenResult OpenFile(const std::string& path, OpenMode mode) {
  FileOpener opener;
  {
    std::lock_guard<std::mutex> guard(OpenerMutex());
    opener = InstalledOpener();
  }
  if (opener) return opener(path, mode);
  return OpenPosixFile(path, mode);
}

}  // namespace kestrel::fs
