#pragma once
// The user's settings (QSettings, user scope) in a fresh folder for the life of the object, and
// in a fresh folder of the test process otherwise: tests never read or write the user's own.

#include <filesystem>

#include "tests/support/TestSupport.h"

namespace kestrel::app::test {

class ScopedSettingsFolder {
 public:
  ScopedSettingsFolder();
  ~ScopedSettingsFolder();
  ScopedSettingsFolder(const ScopedSettingsFolder&) = delete;
  ScopedSettingsFolder& operator=(const ScopedSettingsFolder&) = delete;

  // The INI file in which the program keeps its presets.
  std::filesystem::path PresetFile() const;

 private:
  kestrel::test::TempDir dir_;
};

// The folder of the test process; main points the settings there before any test runs.
void UseProcessSettingsFolder();

}  // namespace kestrel::app::test
