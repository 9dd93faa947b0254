// The file a rewritten package is built in, beside the package, and the one step that puts it in
// the package's place. Where the file system allows it the file has no name while it is written
// (O_TMPFILE), so a process killed meanwhile leaves nothing behind; it is linked under a temporary
// name only for the instant before the rename. Elsewhere it is a named temporary from the start.
// Nothing here throws.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel::zip {

class NewPackageFile {
 public:
  enum class Kind { Unnamed, Named };

  // Creates the empty file in the folder of `package` (already resolved past symbolic links), so
  // the rename stays on one file system. Valid() is false when the folder does not take it;
  // Error() then says why. Named temporaries start with `prefix`.
  NewPackageFile(const std::string& package, const std::string& prefix, Kind preferred = Kind::Unnamed);
  // Removes the file unless it was committed.
  ~NewPackageFile();
  NewPackageFile(const NewPackageFile&) = delete;
  NewPackageFile& operator=(const NewPackageFile&) = delete;

  bool Valid() const { return fd_ >= 0; }
  Kind kind() const { return kind_; }
  // A path that opens this file for writing (under /proc for an unnamed one).
  const std::string& OpenPath() const { return openPath_; }
  const std::string& Error() const { return error_; }

  // Asks the system to start writing [offset, offset + length) to the disk now, without waiting,
  // so that the final sync finds little left to do. Only a hint: failures are ignored.
  void StartWriteback(std::uint64_t offset, std::uint64_t length) const;

  // Once the caller has written and synced the file: gives it the package's owner (where we may),
  // user attributes and permission bits, names it beside the package, renames it over the package
  // and syncs the folder. False, with Error() set, leaves the package as it was.
  bool Commit();

 private:
  bool Fail(const std::string& what);

  std::string package_;
  std::string folder_;
  std::string prefix_;
  Kind kind_ = Kind::Unnamed;
  int fd_ = -1;             // kept open so the unnamed file lives until it is linked
  std::string openPath_;
  std::string namedPath_;   // the name the file has now, if any; removed unless committed
  std::string error_;
};

}  // namespace kestrel::zip
