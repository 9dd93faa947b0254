#pragma once
// The Windows view of a file on Linux: its attribute word and its three times, wherever the file
// system at hand keeps them (see the backends), and the exact state that puts a file back as it
// was. A FileRecord is taken before a document is read or changed; restoring it undoes every
// trace of a read (permission bits, attribute store, times to the nanosecond the file system keeps).
// Failures are answers: nothing here throws except std::bad_alloc.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Outcome.h"

#include "platform/time/FileTime.h"

namespace kestrel::fs {

inline constexpr std::uint32_t kAttributeReadOnly = 0x01;
inline constexpr std::uint32_t kAttributeHidden = 0x02;
inline constexpr std::uint32_t kAttributeSystem = 0x04;
inline constexpr std::uint32_t kAttributeArchive = 0x20;

// A point in time as the kernel keeps it: UTC, seconds and nanoseconds since 1970-01-01.
struct Timestamp {
  std::int64_t seconds = 0;
  std::int64_t nanoseconds = 0;  // 0 to 999,999,999
  bool operator==(const Timestamp&) const = default;
};

// Truncated to 100 ns; times before 1601 become 0.
time::FileTime FileTimeOf(Timestamp timestamp);
Timestamp TimestampOf(time::FileTime fileTime);

// A document's creation, last-write and last-access times as UTC file times.
struct FileTimeSet {
  time::FileTime creation = 0;
  time::FileTime lastWrite = 0;
  time::FileTime lastAccess = 0;
  bool operator==(const FileTimeSet&) const = default;
};

struct FileTimestamps {
  Timestamp creation;
  Timestamp lastWrite;
  Timestamp lastAccess;
  bool operator==(const FileTimestamps&) const = default;
  FileTimeSet FileTimes() const;
};

// Where a file's attribute word and creation time live.
enum class Backend {
  Generic,     // permission bits and Samba's user.DOSATTRIB blob (ext4, xfs, btrfs, tmpfs, ...)
  NtfsFuse,    // ntfs-3g: system.ntfs_attrib_be and system.ntfs_crtime_be
  NtfsKernel,  // the ntfs3 driver: system.ntfs_attrib_be; creation time read only
  Fallback,    // anything else: read-only from the owner write bit only
};

// A file as it was when recorded.
struct FileRecord {
  // The attribute word the program shows: the four bits on Generic and Fallback; on NTFS the
  // word as NTFS keeps it (other bits such as 0x80 "normal" included), which is what gets restored.
  std::uint32_t attributes = 0;
  FileTimestamps times;  // exact (NTFS keeps its creation time in 100 ns units, so that too)
  // For putting the file back exactly.
  Backend backend = Backend::Fallback;
  std::uint32_t mode = 0;                              // permission bits (07777)
  std::optional<std::vector<std::uint8_t>> dosAttrib;  // Generic: the blob as stored; nullopt: none
  std::uint32_t owner = 0;                             // user and group ids
  std::uint32_t group = 0;
  bool systemBirth = false;  // the file system reports a birth time, which no one can set
};

// True for an existing file (a symbolic link counts by its target); a folder, a missing path or
// anything that is not a regular file is not one.
bool FileExistsAsFile(const std::string& path);

// True when a new file may be made at the path: nothing stands there (a link counts by its target).
bool NothingAt(const std::string& path);

// nullopt when the path is not an existing file or its state cannot be read. Reading changes
// nothing on the file.
std::optional<FileRecord> ReadFileRecord(const std::string& path);

// Makes the read-only, hidden, system and archive bits of the file those of `attributes`, as a
// change would (PlanFileState, GiveFileStoreInPlace). Fails when the file is gone, is not ours,
// or its file system cannot keep a bit asked for.
Outcome SetFileAttributes(const std::string& path, std::uint32_t attributes);

// Puts the permission bits and the attribute store back exactly as recorded (a blob that was
// not there is removed), keeping the file writable while its blob changes. A file already in the
// recorded state is not touched at all, so its change time stays. Fails when the file is gone or
// a part could not be put back.
Outcome RestoreFileAttributes(const std::string& path, const FileRecord& record);

enum class SetTimesResult {
  Done,           // all three set
  CreationKept,   // last write and last access set; this file system cannot set a creation time
  NotOpened,      // the file could not be opened for writing exclusively: nothing set
};

// Opens the file as a writer would (through OpenFile with its exclusive lock; a read-only file,
// whatever keeps its read-only bit, or one another process holds is refused) and sets its
// last-write and last-access times, and its creation time where the backend keeps one, to the
// nanosecond the file system stores. A creation time equal to the one the file shows now (in
// 100 ns units) is not written, so nothing is added to a file that lacked an attribute store;
// times equal to the file's own are not written either. `creationWritten`, when given, says
// whether a new creation time was stored.
SetTimesResult SetFileTimestamps(const std::string& path, const FileTimestamps& times,
                                 bool* creationWritten = nullptr);

}  // namespace kestrel::fs
