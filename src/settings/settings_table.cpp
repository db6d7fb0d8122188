#include "settings/settings_table.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "chart/numbers.h"

namespace quillon {
namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// True when `text` (already trimmed) is one number and nothing else.
bool IsWholeNumberText(std::string_view text) {
  size_t i = 0;
  const auto digits = [&](auto accept) {
    const size_t start = i;
    while (i < text.size() && accept(text[i]))
      ++i;
    return i - start;
  };
  const auto decimal = [](char c) { return c >= '0' && c <= '9'; };
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  if (i + 1 < text.size() && text[i] == '&') {
    const char radix = text[i + 1];
    i += 2;
    if (radix == 'H' || radix == 'h') {
      const auto hex = [&](char c) {
        return decimal(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
      };
      return digits(hex) > 0 && i == text.size();
    }
    if (radix == 'O' || radix == 'o') {
      return digits([](char c) { return c >= '0' && c <= '7'; }) > 0 && i == text.size();
    }
    return false;
  }
  size_t mantissa = digits(decimal);
  if (i < text.size() && text[i] == '.') {
    ++i;
    mantissa += digits(decimal);
  }
  if (mantissa == 0) return false;
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e' || text[i] == 'D' || text[i] == 'd')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (digits(decimal) == 0) return false;
  }
  return i == text.size();
}

template <typename T>
std::string ShortestText(T value) {
  if (!std::isfinite(value) || value == 0) return "0";
  char buffer[400];  // the longest fixed form of a double is about 330 characters
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  if (result.ec != std::errc()) return "0";
  return std::string(buffer, result.ptr);
}

// The value of `key`: absent -> `fallback`; else `convert` of the text, and an unconvertible text
// leaves `field` as it is.
template <typename T, typename Convert>
void ReadInto(const SettingsStore& store, std::string_view section, std::string_view key,
              const T& fallback, Convert convert, T& field) {
  const std::optional<std::string> text = store.Read(section, key);
  if (!text) {
    field = fallback;
    return;
  }
  if (const std::optional<T> value = convert(*text)) field = *value;
}

std::optional<bool> LeadingNumberFlag(std::string_view text) {
  const std::optional<double> v = ReadLeadingNumber(text);
  if (!v) return std::nullopt;
  return *v != 0;
}

std::optional<int32_t> Long(std::string_view text) {
  const std::optional<double> v = ReadNumberValue(text);
  if (!v) return std::nullopt;
  return ToWhole<int32_t>(*v);
}

std::optional<float> Single(std::string_view text) {
  const std::optional<double> v = ReadNumberValue(text);
  if (!v || std::fabs(*v) > std::numeric_limits<float>::max()) return std::nullopt;
  return static_cast<float>(*v);
}

std::optional<std::string> Text(std::string_view text) {
  return std::string(text);
}

}  // namespace

std::string IndexedKey(std::string_view name, int index) {
  return std::string(name) + std::to_string(index);
}

std::optional<bool> ReadFlagValue(std::string_view text) {
  const std::string_view t = Trim(text);
  if (EqualsNoCase(t, "True")) return true;
  if (EqualsNoCase(t, "False")) return false;
  const std::optional<double> v = ReadNumberValue(t);
  if (!v) return std::nullopt;
  return *v != 0;
}

std::optional<double> ReadLeadingNumber(std::string_view text) {
  return ReadNumber(text);
}

std::optional<double> ReadNumberValue(std::string_view text) {
  const std::string_view t = Trim(text);
  if (!IsWholeNumberText(t)) return std::nullopt;
  return ReadNumber(t);
}

std::string FlagText(bool on) {
  return on ? "True" : "False";
}
std::string OptionFlagText(bool on) {
  return on ? "1" : "0";
}
std::string NumberText(double value) {
  return ShortestText(value);
}

WindowPlacement ReadWindowPlacement(const SettingsStore& store) {
  WindowPlacement placement;
  const auto number = [&](std::string_view key) -> std::optional<double> {
    const std::optional<std::string> text = store.Read(kWindowPosSection, key);
    return text ? ReadNumberValue(*text) : std::nullopt;
  };
  placement.Left = number("MainLeft");
  placement.Top = number("MainTop");
  placement.Width = number("MainWidth");
  placement.Height = number("MainHeight");
  placement.State = 0;
  const std::optional<std::string> state = store.Read(kWindowPosSection, "MainState");
  if (state) {
    const std::optional<double> v = ReadNumberValue(*state);
    const std::optional<int16_t> whole = v ? ToWhole<int16_t>(*v) : std::nullopt;
    placement.State =
        whole && *whole >= 0 && *whole <= 2 ? std::optional<int>(*whole) : std::nullopt;
  }
  return placement;
}

void WriteWindowState(SettingsStore& store, int state) {
  store.Write(kWindowPosSection, "MainState", NumberText(state));
}

void WriteWindowRect(SettingsStore& store, double left, double top, double width, double height) {
  store.Write(kWindowPosSection, "MainLeft", NumberText(left));
  store.Write(kWindowPosSection, "MainTop", NumberText(top));
  store.Write(kWindowPosSection, "MainWidth", NumberText(width));
  store.Write(kWindowPosSection, "MainHeight", NumberText(height));
}

void ReadNotScrollTitle(const SettingsStore& store, ProgramSettings& settings) {
  ReadInto(store, kSettingSection, "NotScrollTitle", false, LeadingNumberFlag,
           settings.NotScrollTitle);
}

void LoadSettings(const SettingsStore& store, ProgramSettings& settings) {
  const TitleLineStyle defaults;
  for (int i = 0; i < 3; ++i) {
    TitleLineStyle& line = settings.InfoLines[static_cast<size_t>(i)];
    ReadInto(store, kInfoViewSection, IndexedKey("Font", i), defaults.Font, Text, line.Font);
    ReadInto(store, kInfoViewSection, IndexedKey("FontSize", i), defaults.Size, Single, line.Size);
    ReadInto(store, kInfoViewSection, IndexedKey("FontBold", i), defaults.Bold, ReadFlagValue,
             line.Bold);
    ReadInto(store, kInfoViewSection, IndexedKey("FontItalic", i), defaults.Italic, ReadFlagValue,
             line.Italic);
    ReadInto(store, kInfoViewSection, IndexedKey("Start", i), defaults.Start, Long, line.Start);
    ReadInto(store, kInfoViewSection, IndexedKey("end", i), defaults.End, Long, line.End);
  }
  for (int i = 0; i < 5; ++i) {
    ReadInto(store, kViewSection, IndexedKey("Item", i), true, ReadFlagValue,
             settings.ViewItems[static_cast<size_t>(i)]);
  }
  ReadInto(store, kSettingSection, "MinimizeSleep", true, LeadingNumberFlag,
           settings.MinimizeSleep);
  ReadInto(store, kSettingSection, "MinimizeSleepTime", int32_t{50}, Long,
           settings.MinimizeSleepTime);
  ReadExtendedCommands(store, settings);
}

void ReadExtendedCommands(const SettingsStore& store, ProgramSettings& settings) {
  ReadInto(store, kSettingSection, "ExtendedCommands", true, ReadFlagValue,
           settings.ExtendedCommands);
}

void ReadStartFlags(const SettingsStore& store, ProgramSettings& settings) {
  ReadInto(store, kSettingSection, "NotUseMMTimer", false, ReadFlagValue, settings.NotUseMMTimer);
  ReadInto(store, kSettingSection, "AutoEnd", false, ReadFlagValue, settings.AutoEnd);
  ReadInto(store, kSettingSection, "UseSusie", false, ReadFlagValue, settings.UseSusie);
}

void WriteViewItems(SettingsStore& store, const std::array<bool, 4>& checked) {
  for (int i = 0; i < 4; ++i)
    store.Write(kViewSection, IndexedKey("Item", i), FlagText(checked[static_cast<size_t>(i)]));
}

void WriteOptionSettings(SettingsStore& store, const ProgramSettings& settings) {
  store.Write(kSettingSection, "NotScrollTitle", OptionFlagText(settings.NotScrollTitle));
  store.Write(kSettingSection, "NotUseMMTimer", OptionFlagText(settings.NotUseMMTimer));
  store.Write(kSettingSection, "AutoEnd", OptionFlagText(settings.AutoEnd));
  store.Write(kSettingSection, "UseSusie", OptionFlagText(settings.UseSusie));
  store.Write(kSettingSection, "MinimizeSleep", OptionFlagText(settings.MinimizeSleep));
  store.Write(kSettingSection, "MinimizeSleepTime", NumberText(settings.MinimizeSleepTime));
  store.Write(kSettingSection, "ExtendedCommands", FlagText(settings.ExtendedCommands));
}

void WriteInfoLines(SettingsStore& store, const std::array<TitleLineStyle, 3>& lines) {
  for (int i = 0; i < 3; ++i) {
    const TitleLineStyle& line = lines[static_cast<size_t>(i)];
    store.Write(kInfoViewSection, IndexedKey("Font", i), line.Font);
    store.Write(kInfoViewSection, IndexedKey("FontSize", i), ShortestText(line.Size));
    store.Write(kInfoViewSection, IndexedKey("FontBold", i), FlagText(line.Bold));
    store.Write(kInfoViewSection, IndexedKey("FontItalic", i), FlagText(line.Italic));
    store.Write(kInfoViewSection, IndexedKey("Start", i), NumberText(line.Start));
    store.Write(kInfoViewSection, IndexedKey("End", i), NumberText(line.End));
  }
}

std::array<std::optional<int>, 14> ReadShowItems(const SettingsStore& store) {
  std::array<std::optional<int>, 14> states;
  for (int i = 0; i < 14; ++i) {
    const std::optional<std::string> text = store.Read(kShowSection, IndexedKey("Item", i));
    if (!text) continue;
    const std::optional<double> v = ReadNumberValue(*text);
    const std::optional<int16_t> whole = v ? ToWhole<int16_t>(*v) : std::nullopt;
    if (whole && *whole >= 0 && *whole <= 2) states[static_cast<size_t>(i)] = *whole;
  }
  return states;
}

void WriteShowItems(SettingsStore& store, const std::array<int, 14>& states) {
  for (int i = 0; i < 14; ++i)
    store.Write(kShowSection, IndexedKey("Item", i), NumberText(states[static_cast<size_t>(i)]));
}

}  // namespace quillon
