#pragma once
// The wait cursor over the whole program for as long as the object lives: work on the window's
// thread that may take more than a blink (reading, changing, scanning a folder) says so.

#include <QGuiApplication>

namespace kestrel::app {

class WaitCursor {
 public:
  WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace kestrel::app
