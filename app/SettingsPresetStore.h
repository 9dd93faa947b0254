#pragma once
// The stored presets of the batch tab in the user's settings: organisation "norvale", application
// "kestrelPadJP" (an INI file in the user's configuration folder on Linux, the key
// HKEY_CURRENT_USER\SOFTWARE\norvale\kestrelPadJP on Windows), string values only.
//
// One object is one opening of the store: make one per save or import. Values written reach the
// disk when the object goes; a new object reads what is on the disk then.

#include <QSettings>

#include "presets/PresetValues.h"

namespace kestrel::app {

class SettingsPresetStore final : public presets::PresetStore {
 public:
  SettingsPresetStore();

  std::string Read(std::string_view name) const override;
  void Write(std::string_view name, const std::string& value) override;
  // Puts what was written on the disk now; false when the settings file could not be written.
  bool Save();

 private:
  QSettings settings_;
};

}  // namespace kestrel::app
