// Every value of the profile described once: its name (a string-table id),
// whether it is a number or a text, where it lives in the global settings,
// its range, and which of the two writes stores it. Reading, writing and the
// round-trip test all walk this one table, so a new setting is one line.
#pragma once

#include <cstdint>
#include <span>

#include "engine/Settings.h"

namespace tarnwatch {

enum class SettingKind { kInt, kText };

// Which write stores a value: the run options only after the Global Options
// sheet; the rest (columns, alerts, Internet) at every settings write.
enum class SettingGroup { kRunOptions, kListAndAlerts };

struct SettingDef {
    int nameId;
    SettingKind kind;
    SettingGroup group;
    // The value inside a settings record: an int32 for kInt, a kTextSize
    // buffer for kText.
    std::int32_t* (*intField)(GlobalSettings&);
    char* (*textField)(GlobalSettings&);
    std::int32_t low;  // kInt: the range a stored value must lie in
    std::int32_t high;
};

std::span<const SettingDef> SettingsTable();

// The field of `def` in `s`, read-only.
std::int32_t IntValue(const SettingDef& def, const GlobalSettings& s);
const char* TextValue(const SettingDef& def, const GlobalSettings& s);

// After reading: slots from the count to the last are blank, and column
// positions that are not a permutation fall back to the default order.
void NormaliseSettings(GlobalSettings& s);

}  // namespace tarnwatch
