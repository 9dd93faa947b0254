#pragma once
// The state a changed document must end with (permission bits, owner and group, attribute store,
// three times), decided before anything is written, given to the file in the order its backend
// needs, and read back afterwards. What cannot be stored is refused in the plan, so nothing is
// written for a change that could not be kept.
// Nothing here throws except std::bad_alloc.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Outcome.h"
#include "platform/fs/FileState.h"

namespace kestrel::fs {

// Where the new state goes: onto the document itself, or onto a new file that takes its name (a
// rewritten package), which must also get the document's owner, group and creation time.
enum class StateTarget { SameFile, NewFile };

// The document recorded as `now` with the four bits of `attributes` and the three `times`. Refused
// (ReadOnly) when we are not its owner (nor root): its times, or a new file's owner, could not be
// kept; for a new file also when we may not give it the document's group. Refused (Unsupported)
// when its file system cannot store a bit or the creation time asked for.
Result<FileRecord> PlanFileState(const FileRecord& now, std::uint32_t attributes, const FileTimestamps& times,
                                 StateTarget target);

// Gives the file at `path`, which we may write (a new file of ours, or one whose read-only state
// is lifted), the attribute store of `wanted`: the blob or NTFS words with its creation time, then
// its permission bits. Not its last-write and last-access times, which go last.
Outcome GiveFileStore(const std::string& path, const FileRecord& wanted);

// GiveFileStore on a document in place. Where its read-only state keeps the store from being
// written, or `whileLifted` (how a writer opens it) from succeeding, that state is lifted for those
// few calls only, with a note in the leftover journal meanwhile; on any failure the document gets
// back the store it had.
Outcome GiveFileStoreInPlace(const std::string& path, const FileRecord& wanted,
                             const std::function<Outcome()>& whileLifted = {});

// The last-write and last-access times of `wanted` set on the file at `path` (its owner, or root);
// nothing is written when they are already so.
Outcome GiveFileTimes(const std::string& path, const FileRecord& wanted);

// Success when `found` (read after the change) shows the four bits and the creation time of
// `wanted`; otherwise a failure naming those that did not read back.
Outcome CheckFileState(const FileRecord& found, const FileRecord& wanted);

}  // namespace kestrel::fs
