// The program's settings table: which sections and keys it reads and writes, in which value forms,
// and the settings held in memory. A value that is absent takes the table's default; a value that
// cannot be converted leaves the value in memory as it was.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/settings_store.h"
#include "settings/title_style.h"

namespace quillon {

inline constexpr std::string_view kWindowPosSection = "WindowPos";
inline constexpr std::string_view kSettingSection = "Setting";
inline constexpr std::string_view kInfoViewSection = "InfoView";
inline constexpr std::string_view kViewSection = "View";
inline constexpr std::string_view kShowSection = "Show";

// `name` with the decimal index written directly after it: ("Font", 0) -> "Font0".
std::string IndexedKey(std::string_view name, int index);

// Reading the value forms. A flag is true for "True" (any case) or any non-zero number, false for
// "False" or 0; nullopt when the text is neither (the caller keeps its value).
std::optional<bool> ReadFlagValue(std::string_view text);
// The leading number of the text ("2abc" -> 2, "abc" -> 0); nullopt only when it overflows.
// NotScrollTitle and MinimizeSleep are read this way (true when not 0).
std::optional<double> ReadLeadingNumber(std::string_view text);
// The text as a number when the whole of it (blanks around it aside) is one: decimal with optional
// fraction and exponent (E or D), &H hexadecimal or &O octal. nullopt for "", "abc", "12abc" and
// for numbers that overflow.
std::optional<double> ReadNumberValue(std::string_view text);

// Writing the value forms.
std::string FlagText(bool on);        // "True" / "False", as the main window and the font flags
std::string OptionFlagText(bool on);  // "1" / "0", as the options dialog writes flags
// Decimal, locale independent, the shortest text that reads back as the same value, never with an
// exponent: "1234", "1234.5", "-0.25". Infinities and NaN give "0".
std::string NumberText(double value);

// The main window's position and size in twips and its state; nullopt where the value is absent
// or not convertible (keep the current value). State is 0 when absent (the table's default) and
// nullopt unless it is 0 (normal), 1 (minimised) or 2 (maximised).
struct WindowPlacement {
  std::optional<double> Left, Top, Width, Height;
  std::optional<int> State;
};
WindowPlacement ReadWindowPlacement(const SettingsStore& store);
void WriteWindowState(SettingsStore& store, int state);
void WriteWindowRect(SettingsStore& store, double left, double top, double width, double height);

// The settings the program holds in memory, with their built-in values.
struct ProgramSettings {
  bool NotScrollTitle = false;
  bool NotUseMMTimer = false;
  bool AutoEnd = false;
  bool UseSusie = false;
  bool MinimizeSleep = true;
  int32_t MinimizeSleepTime = 50;
  std::array<TitleLineStyle, 3> InfoLines;
  // View items: toolbar, position bar, command bar, title information. Index 4 is read but there is
  // no fifth item.
  std::array<bool, 5> ViewItems{true, true, true, true, true};
  // Charts are read with the extended commands (base-36 ids, #BPMxx, #STOP, long notes); false:
  // the classic reading. Taken by every load from the next one on.
  bool ExtendedCommands = true;
};

// Start-up: NotScrollTitle.
void ReadNotScrollTitle(const SettingsStore& store, ProgramSettings& settings);
// The InfoView keys (the end colours read under "end" + index), View Item0..4, MinimizeSleep and
// MinimizeSleepTime. Run at start-up and at every chart load.
void LoadSettings(const SettingsStore& store, ProgramSettings& settings);
// ExtendedCommands ("True"/"False" or a number; absent: true). Read before every load and by
// LoadSettings.
void ReadExtendedCommands(const SettingsStore& store, ProgramSettings& settings);
// Start-up: NotUseMMTimer, AutoEnd and UseSusie.
void ReadStartFlags(const SettingsStore& store, ProgramSettings& settings);

// Shut-down: View Item0..3 as "True"/"False".
void WriteViewItems(SettingsStore& store, const std::array<bool, 4>& checked);
// The options dialog: the Setting flags as "1"/"0" (ExtendedCommands as "True"/"False") and
// MinimizeSleepTime.
void WriteOptionSettings(SettingsStore& store, const ProgramSettings& settings);
// The options dialog: the InfoView keys of the three title lines (font flags "True"/"False", the
// end colours written under "End" + index).
void WriteInfoLines(SettingsStore& store, const std::array<TitleLineStyle, 3>& lines);

// The control panel's Show Item0..13: nullopt when the stored text is "!", absent, not a number or
// not a check box state; else the state (0 clear, 1 ticked, 2 grey).
std::array<std::optional<int>, 14> ReadShowItems(const SettingsStore& store);
void WriteShowItems(SettingsStore& store, const std::array<int, 14>& states);

}  // namespace quillon
