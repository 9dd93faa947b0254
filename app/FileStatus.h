#pragma once
// The icon of a file-list item: what happened to the file the last time it was read or changed.

namespace kestrel::app {

enum class FileStatus : int {
  NotChanged = 0,
  Changed = 1,
  ChangeError = 2,
  ReadError = 3,
};

inline constexpr int kFileStatusCount = 4;

}  // namespace kestrel::app
