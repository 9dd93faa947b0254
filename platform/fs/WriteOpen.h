#pragma once
// Opening a document once for a whole change, and setting its times through that same open.
// Nothing here throws except std::bad_alloc.

#include <string>

#include "platform/fs/FileIo.h"
#include "platform/fs/FileState.h"

namespace kestrel::fs {

// Opens the document for writing (exclusive locks, as OpenFile) even when its read-only bit is
// set. Where the system allows it (root, or a file system that does not enforce the bit) the bit
// stays set throughout; otherwise it is cleared for the instant of the open and put back at once,
// before anything is written, so only a stop in that instant could leave the document writable.
// `record` is the document's state taken just before. Errors as OpenFile's.
OpenResult OpenForWriting(const std::string& path, const FileRecord& record);

// SetFileTimestamps on a file the caller holds open for writing (its lock stays the caller's;
// a read-only bit does not stop it). Times equal to the file's own are not written.
SetTimesResult SetOpenFileTimestamps(RandomAccessFile& file, const std::string& path, const FileTimestamps& times,
                                     bool* creationWritten = nullptr);

}  // namespace kestrel::fs
