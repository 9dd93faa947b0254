#pragma once
// A new file written beside a target and then put in its place in one step: at every moment the
// target's name holds either the old file or the complete new one, never neither.

#include <string>

namespace kestrel::fs {

class ReplacementFile {
 public:
  // Creates the empty file in the target's folder (so the rename stays on one file system),
  // its name starting with `prefix`. Valid() is false when the folder does not take it.
  ReplacementFile(const std::string& target, const std::string& prefix);
  // Removes the file unless it was committed.
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  bool Valid() const { return !path_.empty(); }
  const std::string& Path() const { return path_; }

  // Once the caller has written and synced the file: gives it the target's permission bits and,
  // where we may (root changing a user's file), its owner, or a new file's mode when there is no
  // target yet; renames it over the target; syncs the folder. False leaves the target as it was.
  bool Commit();

 private:
  std::string target_;
  std::string folder_;
  std::string path_;
};

}  // namespace kestrel::fs
