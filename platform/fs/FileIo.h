#pragma once
// The one door through which the document layers read and write files. Opening takes an
// open-file-description lock, so a document another program holds cannot change under us, and
// the whole door can be replaced in tests to make any write fail.
// Failures are answers: nothing here throws except std::bad_alloc.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/Outcome.h"
#include "platform/fs/FileState.h"

namespace kestrel::fs {

enum class OpenMode {
  Read,       // shared lock; other readers welcome, writers refused
  ReadWrite,  // exclusive lock
  // ReadWrite for the change of a document whose read-only bit is set: only the system's own
  // permission check applies (root passes it), so the bit need not be cleared for the open.
  ReadWriteDespiteReadOnly,
  // Read for a file that a new one will replace: opened only for reading, so the read-only bit
  // does not matter, but locked against every other writer and against our own readers.
  ReadToReplace,
  // Read for a file whose lock the caller holds on another descriptor, which would refuse ours.
  ReadUnderOwnLock,
};

enum class OpenFailure {
  None,
  NotFound,  // no such file, or a folder
  Locked,    // another open file description holds a conflicting lock
  ReadOnly,  // ReadWrite on a file whose owner write bit is clear (root included), or the system
             // refused to open it for writing (EACCES, EPERM, EROFS: its words in systemError)
  Other,
};

// Which file an open file is and which version of it: what a cache of its content is keyed on.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t size = 0;
  std::int64_t lastWriteNs = 0;
  std::int64_t changeNs = 0;  // moves with every write and every rename onto the name, too
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// An open file with its lock; the lock goes when the object is destroyed.
class RandomAccessFile {
 public:
  virtual ~RandomAccessFile() = default;
  virtual std::uint64_t Size() const = 0;
  // Each operation below fails with Io and the system's words, naming the offset where it failed.
  // Exactly n bytes at offset; a short read fails too.
  virtual Outcome ReadAt(std::uint64_t offset, void* buffer, std::size_t n) = 0;
  // All n bytes at offset (the file grows when needed).
  virtual Outcome WriteAt(std::uint64_t offset, const void* data, std::size_t n) = 0;
  // Everything written so far reaches the disk.
  virtual Outcome Sync() = 0;
  // Cuts the file to `size` bytes. Files that are not on a disk cannot.
  virtual Outcome Truncate(std::uint64_t size);
  // The open file's identity, as the kernel has it now; nullopt for files that are not on a disk.
  virtual std::optional<FileIdentity> Identity() const;
  // The file's state as recorded before a read or change, taken on this open file; nullopt for
  // files that are not on a disk.
  virtual std::optional<FileRecord> Record() const;
  // n bytes of `source` from sourceOffset to this file at offset. Files of the platform copy
  // inside the kernel; others go through a buffer and WriteAt.
  virtual Outcome CopyFrom(RandomAccessFile& source, std::uint64_t sourceOffset, std::uint64_t offset, std::uint64_t n);
  // Makes the lock of a file opened for reading exclusive, as OpenMode::ReadToReplace takes it;
  // HeldOpen when another program has the file open with a lock. Files that are not on a disk
  // have no lock to change.
  virtual Outcome LockToReplace();
  // Sets the last-access and last-write times, to the nanosecond the file system keeps;
  // nullopt leaves that one as it is. Files that are not on a disk have no times.
  virtual Outcome SetTimes(std::optional<Timestamp> lastAccess, std::optional<Timestamp> lastWrite);
};

struct OpenResult {
  std::unique_ptr<RandomAccessFile> file;
  OpenFailure error = OpenFailure::None;
  int systemError = 0;  // errno of a ReadOnly or Other error, for its message
};

// Why an open failed, in words: "no such file", "held open by another program", ...
Outcome DescribeOpenError(const OpenResult& result);

// Why ReadFileRecord found nothing at the path: "no such file", "is a folder, not a file", ...
Outcome DescribeUnrecordedFile(const std::string& path);

OpenResult OpenFile(const std::string& path, OpenMode mode);

// OpenFile(path, Read) for a reading that looks at the whole file: a small file is read into
// memory at once, so that parsing it asks the system for nothing more; a larger one is read
// through the descriptor as asked. The file cannot be written through.
OpenResult OpenForReading(const std::string& path);

// `file` with its bytes read into memory at once when it is small, so that what is read of it then
// asks the system for nothing more; a larger file, or one that cannot be read whole now, as it is.
// The file cannot be written through afterwards.
std::unique_ptr<RandomAccessFile> LoadWhenSmall(std::unique_ptr<RandomAccessFile> file);

// Whether `path`, past its symbolic links, names the file `identity` was taken of (its device and
// inode): no other file has been put in its place since.
bool NamesFile(const std::string& path, const FileIdentity& identity);

// The record of a file as `opened` (from OpenForReading) found it: taken on its descriptor, or by
// its path when it could not be opened (another program holds it) or is not on a disk. nullopt
// when neither answers.
std::optional<FileRecord> RecordOf(const OpenResult& opened, const std::string& path);

// The real implementation behind OpenFile: POSIX descriptors with F_OFD_SETLK.
OpenResult OpenPosixFile(const std::string& path, OpenMode mode);

// Test seam: every later OpenFile goes through `opener`; an empty function restores the default.
using FileOpener = std::function<OpenResult(const std::string& path, OpenMode mode)>;
void SetFileOpener(FileOpener opener);

}  // namespace kestrel::fs
