#pragma once
// What a run stopped by a kill could leave behind, noted where the next run of either program
// finds it: a document whose read-only state is lifted for an instant, and files of ours that have
// a name only until their rename. Each process notes in a journal of its own in the user's state
// folder ($XDG_STATE_HOME/kestrelpad, else ~/.local/state/kestrelpad), locked while the process
// lives and removed when it ends; a journal that nobody holds is a dead run's, and
// RepairLeftovers undoes what its open entries say. No sync: a kill loses nothing the kernel has.
// A journal that cannot be written costs only the repair; nothing here throws except
// std::bad_alloc.

#include <cstdint>
#include <string>

#include "platform/fs/FileState.h"

namespace kestrel::fs {

// One open entry of this process's journal, closed when the object goes: by then the caller has
// undone, or made permanent, what it noted.
class JournalEntry {
 public:
  JournalEntry() = default;  // notes nothing
  ~JournalEntry() { Close(); }
  JournalEntry(JournalEntry&& other) noexcept : id_(other.id_) { other.id_ = 0; }
  JournalEntry& operator=(JournalEntry&& other) noexcept;
  JournalEntry(const JournalEntry&) = delete;
  JournalEntry& operator=(const JournalEntry&) = delete;
  void Close();

 private:
  friend JournalEntry NoteReadOnlyLifted(const std::string& path, const FileRecord& record);
  friend JournalEntry NoteTemporaryName(const std::string& path, int descriptor);
  friend JournalEntry NoteExtraName(const std::string& path, std::uint64_t device, std::uint64_t inode);
  explicit JournalEntry(std::uint64_t id) : id_(id) {}
  std::uint64_t id_ = 0;  // 0: nothing noted
};

// Before the read-only state of the file at `path` is lifted: should this process die before the
// entry closes, a later run puts back `record`'s permission bits and attribute store, as long as
// the path still names the same file (device and inode).
JournalEntry NoteReadOnlyLifted(const std::string& path, const FileRecord& record);

// Before the open file `descriptor` takes the name `path`, which it must not keep: should this
// process die before the entry closes, a later run removes it, as long as the name still holds
// that file and no living writer locks it.
JournalEntry NoteTemporaryName(const std::string& path, int descriptor);

// Before `path` becomes one more name of the file `device`/`inode` for a moment (a document's old
// file linked as its backup before the new one takes the document's name): should this process
// die before the entry closes, a later run removes that name, as long as it still holds that file
// and the file has another name, so nothing is ever lost by it.
JournalEntry NoteExtraName(const std::string& path, std::uint64_t device, std::uint64_t inode);

// Removes the regular file at `path` when nothing holds its lock (every file of ours is locked
// while its writer lives) and the name still holds the file that was checked.
void RemoveAbandoned(const std::string& path);

// Undoes what the open entries of the journals of dead runs say and removes those journals. Each
// program calls it when it starts.
void RepairLeftovers();

}  // namespace kestrel::fs
