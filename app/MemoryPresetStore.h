#pragma once
// Presets kept in memory for as long as the program runs.

#include <map>
#include <string>

#include "export/PresetValues.h"

namespace kestrel::app {

class MemoryPresetStore final : public presets::PresetStore {
 public:
  std::string Read(std::string_view name) const override {
    const auto found = values_.find(std::string(name));
    return found == values_.end() ? std::string() : found->second;
  }
  void Write(std::string_view name, const std::string& value) override { values_[std::string(name)] = value; }

 private:
  std::map<std::string, std::string> values_;
};

}  // namespace kestrel::app
