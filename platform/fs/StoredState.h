#pragma once
// Where each backend keeps a file's attribute word and creation time, read in one go and
// written back in the order the backend needs. Private to platform/fs: the rest of the program
// sees FileState.h.
// Nothing here throws except std::bad_alloc.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <time.h>

#include "platform/fs/FileIo.h"
#include "platform/fs/FileState.h"
#include "platform/time/FileTime.h"

namespace kestrel::fs {

inline constexpr std::uint32_t kFourAttributes = kAttributeReadOnly | kAttributeHidden | kAttributeSystem | kAttributeArchive;

// A regular file's state as its backend keeps it.
struct StoredState {
  Backend backend = Backend::Fallback;
  std::uint32_t mode = 0;  // 07777
  std::uint32_t owner = 0;
  std::uint32_t group = 0;
  Timestamp lastAccess;
  Timestamp lastWrite;
  std::optional<Timestamp> birth;                      // when the file system reports one
  std::optional<std::vector<std::uint8_t>> dosAttrib;  // Generic: the blob as stored
  std::uint32_t ntfsAttributes = 0;                    // NTFS: the word as the file system keeps it
  std::optional<time::FileTime> ntfsCreation;          // NtfsFuse

  std::uint32_t AttributeWord() const;
  Timestamp Creation() const;
  FileRecord Record() const;
};

// Generic and Fallback: the permission bits say read-only; NTFS backends keep their own word.
bool KeepsPermissionBits(Backend backend);

// nullopt when the path is not a regular file (after following links) or cannot be read.
std::optional<StoredState> ReadStoredState(const std::string& path);
// The same on a descriptor this process holds open.
std::optional<StoredState> ReadStoredState(int descriptor);

// Fails when the store could not be made what was recorded, with the system's words.
Outcome WriteRecordedStore(const std::string& path, const StoredState& now, const FileRecord& record);

enum class CreationWrite { Written, NotPossible, Failed };
CreationWrite WriteCreationTime(const std::string& path, const StoredState& now, time::FileTime creation);

// The kernel's form of a time to set; nullopt leaves that time as it is (UTIME_OMIT).
struct timespec TimespecOf(std::optional<Timestamp> timestamp);

// SetOpenFileTimestamps with the file's state as just read by the caller.
SetTimesResult SetTimesOfOpenFile(RandomAccessFile& file, const std::string& path, const StoredState& now,
                                  const FileTimestamps& times, bool* creationWritten);

// The backends behind the three operations above.
namespace permission {  // Generic, and Fallback where there is no blob
inline constexpr const char* kDosAttribName = "user.DOSATTRIB";
std::uint32_t AttributeWord(const StoredState& state);
Timestamp Creation(const StoredState& state);
Outcome WriteRecordedStore(const std::string& path, const StoredState& now, const FileRecord& record);
CreationWrite WriteCreationTime(const std::string& path, const StoredState& now, time::FileTime creation);
}  // namespace permission

namespace ntfs {  // NtfsFuse and NtfsKernel
inline constexpr const char* kAttribName = "system.ntfs_attrib_be";
inline constexpr const char* kCreationName = "system.ntfs_crtime_be";
Timestamp Creation(const StoredState& state);
// The word with the four bits of `attributes`; the other bits stay as the file has them.
Outcome WriteAttributeWord(const std::string& path, const StoredState& now, std::uint32_t attributes);
Outcome WriteRecordedStore(const std::string& path, const StoredState& now, const FileRecord& record);
CreationWrite WriteCreationTime(const std::string& path, const StoredState& now, time::FileTime creation);
}  // namespace ntfs

}  // namespace kestrel::fs
