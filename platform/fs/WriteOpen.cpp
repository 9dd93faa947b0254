#include "platform/fs/WriteOpen.h"

#include <optional>

#include "platform/fs/StoredState.h"

namespace kestrel::fs {

OpenResult OpenForWriting(const std::string& path, const FileRecord& record) {
  if ((record.attributes & kAttributeReadOnly) == 0) return OpenFile(path, OpenMode::ReadWrite);
  // Where the system lets us (root), the bit is never off at all; a kill then cannot matter.
  OpenResult despite = OpenFile(path, OpenMode::ReadWriteDespiteReadOnly);
  if (despite.file || despite.error != OpenFailure::Other) return despite;
  if (!SetFileAttributes(path, record.attributes & ~kAttributeReadOnly)) return {nullptr, OpenFailure::ReadOnly};
  OpenResult opened = OpenFile(path, OpenMode::ReadWrite);
  // The open descriptor keeps its right to write; the file is read-only again for everyone else.
  if (!RestoreFileAttributes(path, record) && opened.file) return {nullptr, OpenFailure::Other};
  return opened;
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

SetTimesResult SetOpenFileTimestamps(RandomAccessFile& file, const std::string& path, const FileTimestamps& times,
                                     bool* creationWritten) {
  if (creationWritten != nullptr) *creationWritten = false;
  const std::optional<StoredState> state = ReadStoredState(path);
  if (!state) return SetTimesResult::NotOpened;
  return SetTimesOfOpenFile(file, path, *state, times, creationWritten);
}

}  // namespace kestrel::fs
