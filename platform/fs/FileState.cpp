#include "platform/fs/FileState.h"

#include <sys/stat.h>

#include "platform/fs/FileIo.h"
#include "platform/fs/PlannedFileState.h"
#include "platform/fs/StoredState.h"

namespace kestrel::fs {

namespace {

constexpr std::int64_t kNanosecondsPerUnit = 100;
constexpr std::int64_t kUnitsPerSecond = time::kFileTimeUnitsPerSecond;

}  // namespace

time::FileTime FileTimeOf(Timestamp timestamp) {
  const std::int64_t seconds = timestamp.seconds + time::kFileTimeUnixEpochSeconds;
  if (seconds < 0) return 0;
  return static_cast<time::FileTime>(seconds) * kUnitsPerSecond +
         static_cast<time::FileTime>(timestamp.nanoseconds / kNanosecondsPerUnit);
}

Timestamp TimestampOf(time::FileTime fileTime) {
  const auto units = static_cast<std::int64_t>(fileTime / kUnitsPerSecond);
  const auto rest = static_cast<std::int64_t>(fileTime % kUnitsPerSecond);
  return {units - time::kFileTimeUnixEpochSeconds, rest * kNanosecondsPerUnit};
}

FileTimeSet FileTimestamps::FileTimes() const {
  return {FileTimeOf(creation), FileTimeOf(lastWrite), FileTimeOf(lastAccess)};
}

bool FileExistsAsFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool NothingAt(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) != 0 && errno == ENOENT;
}

std::optional<FileRecord> ReadFileRecord(const std::string& path) {
  const std::optional<StoredState> state = ReadStoredState(path);
  if (!state) return std::nullopt;
  return state->Record();
}

Outcome SetFileAttributes(const std::string& path, std::uint32_t attributes) {
  const std::optional<FileRecord> record = ReadFileRecord(path);
  if (!record) return DescribeUnrecordedFile(path);
  const Result<FileRecord> wanted = PlanFileState(*record, attributes, record->times, StateTarget::SameFile);
  return wanted ? GiveFileStoreInPlace(path, *wanted) : wanted.outcome();
}

Outcome RestoreFileAttributes(const std::string& path, const FileRecord& record) {
  const std::optional<StoredState> state = ReadStoredState(path);
  if (!state) return DescribeUnrecordedFile(path);
  // Recorded where the file no longer lies: only the attribute word still means something.
  if (state->backend != record.backend) return SetFileAttributes(path, record.attributes);
  return WriteRecordedStore(path, *state, record);
}

SetTimesResult SetTimesOfOpenFile(RandomAccessFile& file, const std::string& path, const StoredState& now,
                                  const FileTimestamps& times, bool* creationWritten) {
  if (creationWritten != nullptr) *creationWritten = false;
  // Equal times are left alone, so putting back a file as it was changes nothing at all.
  if ((times.lastAccess != now.lastAccess || times.lastWrite != now.lastWrite) &&
      !file.SetTimes(times.lastAccess, times.lastWrite)) {
    return SetTimesResult::NotOpened;
  }
  const time::FileTime creation = FileTimeOf(times.creation);
  if (creation == FileTimeOf(now.Creation())) return SetTimesResult::Done;
  if (WriteCreationTime(path, now, creation) != CreationWrite::Written) return SetTimesResult::CreationKept;
  if (creationWritten != nullptr) *creationWritten = true;
  return SetTimesResult::Done;
}

SetTimesResult SetFileTimestamps(const std::string& path, const FileTimestamps& times, bool* creationWritten) {
  if (creationWritten != nullptr) *creationWritten = false;
  OpenResult opened = OpenFile(path, OpenMode::ReadWrite);
  if (!opened.file) return SetTimesResult::NotOpened;
  // Looked at under our lock, so nobody changes it between the look and the writes. Read-only
  // where the permission bits do not say so (NTFS, the blob) is refused all the same.
  const std::optional<StoredState> state = ReadStoredState(path);
  if (!state || (state->AttributeWord() & kAttributeReadOnly) != 0) return SetTimesResult::NotOpened;
  return SetTimesOfOpenFile(*opened.file, path, *state, times, creationWritten);
}

}  // namespace kestrel::fs
