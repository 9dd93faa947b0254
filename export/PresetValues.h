#pragma once
// The presets live in presets/. This old name stays only for the window tests that still include it.

#include "presets/PresetValues.h"
