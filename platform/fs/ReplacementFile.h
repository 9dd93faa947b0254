#pragma once
// A new file written beside a target and then put in its place in one step: at every moment the
// target's name holds either the old file or the complete new one, never neither. Where the file
// system allows it the new file has no name while it is written (O_TMPFILE), so a process killed
// meanwhile leaves nothing behind; it is linked under a temporary name only for the instant
// before the rename, and a file a kill left under that name is removed by the next replacement of
// the same target, or by the next start of either program (the leftover journal notes every
// name). Elsewhere it is a named temporary from the start. Nothing here throws.
//
// A document reached through symbolic links is the file they lead to: that file is replaced and
// the links stay links; one with more than one hard link is refused, since a new file in its
// place would leave the other names on the old one. A name that is replaced as a name (a backup)
// is never followed: whatever stands there, a link included, is simply replaced.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/fs/FileState.h"
#include "platform/fs/LeftoverJournal.h"

namespace kestrel::fs {

// The file a chain of symbolic links leads to; the path itself when it is no link or leads
// nowhere yet.
std::string FollowLinks(const std::string& path);

// The name the new file for `target` has in the instant before its rename: the same from run to
// run, so that the next replacement finds what a killed one left there.
std::string NamedBeforeRename(const std::string& target, const std::string& prefix);
// The same for a name replaced as a name, whose links are not followed.
std::string NamedBeforeRenameOf(const std::string& name, const std::string& prefix);

// The folder whose entry names the file at `path` past its symbolic links: where a rename of that
// file happens. "." for a bare name.
std::string FolderHolding(const std::string& path);

// Makes the names in `folder` durable, a rename into it say. Failures are ignored: the files are
// complete under their names either way.
void SyncFolder(const std::string& folder);
// Makes everything written to the file system that holds `folder` durable, data and names: one
// call for many new files, where each would otherwise be synced on its own.
void SyncFileSystem(const std::string& folder);

// Whether Commit syncs the folder itself, or leaves that to the caller (SyncFolder), who may
// then let others commit meanwhile and share one sync with them.
enum class FolderSync { Now, ByCaller };

// What a commit does besides writing: who syncs the folder, and a step that runs once everything
// new is written and has its state, right before the target changes. A failure of that step is
// the commit's, with the target as it was (a document's backup goes in place there).
struct CommitSteps {
  FolderSync folderSync = FolderSync::Now;
  std::function<Outcome()> beforeChange;
};

// What the new file takes before its name, in place of the target's own mode and attributes.
struct FinalState {
  FileRecord record;        // owner and group, permission bits, attribute store, the three times
  bool ownerRequired;       // a document keeps its owner and group or is not replaced; a copy
                            // takes them where the system allows
  std::string userAttributesFrom;  // the file whose other user attributes the new one carries
};

class ReplacementFile {
 public:
  enum class Kind { Unnamed, Named };
  enum class Naming { FileBehindLinks, NameItself };

  // Creates the empty file in the folder of the (resolved) target, so the rename stays on one
  // file system; named temporaries start with `prefix`. Valid() is false when the target is
  // refused or the folder does not take the file; Error() then says why.
  ReplacementFile(const std::string& target, const std::string& prefix, Kind preferred = Kind::Unnamed,
                  Naming naming = Naming::FileBehindLinks);
  // Removes the file unless it was committed.
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  bool Valid() const { return fd_ >= 0; }
  Kind kind() const { return kind_; }
  // A path that opens the new file for writing (under /proc for an unnamed one).
  const std::string& Path() const { return openPath_; }
  // The file that Commit replaces: the target, past any symbolic links.
  const std::string& Target() const { return target_; }
  // Why the file could not be created.
  const std::string& Error() const { return error_; }

  // Asks the system to start writing [offset, offset + length) to the disk now, without waiting,
  // so that the final sync finds little left to do. Only a hint: failures are ignored.
  void StartWriteback(std::uint64_t offset, std::uint64_t length) const;

  // Once the caller has written and synced the file: gives it `state`, or without one the target's
  // owner (where we may: root changing a user's file), user attributes and permission bits, or a
  // new file's mode when there is no target yet; names it beside the target, renames it over the
  // target and syncs the folder (unless the caller will). A failure (Io, with the system's words,
  // or the step's own) leaves the target as it was.
  Outcome Commit(const CommitSteps& steps = {}, const FinalState* state = nullptr);

  // Gives the file `state` now, while it has no name; Commit then only names it. For a file
  // written well before its turn to take the name comes.
  Outcome TakeStateNow(const FinalState& state);

 private:
  Outcome TakeState(const FinalState& state);
  Outcome TakeTargetsState();

  std::string target_;
  std::string folder_;
  std::string prefix_;
  Kind kind_ = Kind::Unnamed;
  int fd_ = -1;            // kept open so the unnamed file lives until it is linked
  std::string openPath_;
  std::string namedPath_;  // the name the file has now, if any; removed unless committed
  JournalEntry nameNoted_;  // while it has that name
  bool stateTaken_ = false;
  std::string error_;
};

}  // namespace kestrel::fs
