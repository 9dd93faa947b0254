#pragma once
// The four file status icons of the file list and the hint window's legend, and the program's
// own icon, drawn once with QPainter so they look the same on every desktop.

#include <array>

#include <QIcon>

#include "app/FileStatus.h"

namespace kestrel::app {

class StatusIcons {
 public:
  // Needs the application object (icons are pixmaps).
  StatusIcons();

  const QIcon& Icon(FileStatus status) const { return icons_.at(static_cast<std::size_t>(status)); }
  const QIcon& ProgramIcon() const { return program_; }

 private:
  std::array<QIcon, kFileStatusCount> icons_;
  QIcon program_;
};

}  // namespace kestrel::app
