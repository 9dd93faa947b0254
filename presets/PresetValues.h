#pragma once
// The batch tab's settings as the user's stored default: value names, string encodings and the
// normalisation on import. The store is an interface so the GUI binds it to QSettings and tests
// to a map.
// Nothing here throws except std::bad_alloc and what the store throws.

#include <string>
#include <string_view>

#include "catalogue/ChangeChoices.h"
#include "platform/time/FileTime.h"

namespace kestrel::presets {

// String values by name; a missing value reads as an empty string.
class PresetStore {
 public:
  virtual ~PresetStore() = default;
  virtual std::string Read(std::string_view name) const = 0;
  virtual void Write(std::string_view name, const std::string& value) = 0;
};

// Writes every value, in the order the save writes them.
void SavePreset(PresetStore& store, const catalogue::BatchValues& values);

// The batch tab as the stored values give it; `now` (local) stands in for every date-time that is
// missing or does not parse. The created and last-saved rows come back to the minute, the
// last-printed row too unless empty; revision number and editing time come back in plain decimal
// (blanks around and a sign allowed), or "1" when not a 32-bit integer. An empty store gives the
// first-start state.
catalogue::BatchValues ImportPreset(const PresetStore& store, time::LocalDateTime now);

}  // namespace kestrel::presets
