#include "dialogs/control_panel_steps.h"

#include <charconv>

#include "chart/numbers.h"

namespace quillon::panel {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n';
}

bool IsDigitOf(char c, int radix) {
  if (c >= '0' && c <= '9') return c - '0' < radix;
  if (radix != 16) return false;
  return (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Whether ReadNumber finds at least one digit at the start of `text` (it reads 0 both for "0"
// and for text without a number; only the first is a number).
bool StartsWithNumber(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size() && IsBlank(text[pos]))
    ++pos;
  int radix = 10;
  if (pos + 1 < text.size() && text[pos] == '&') {
    const char kind = text[pos + 1];
    if (kind == 'H' || kind == 'h') {
      radix = 16;
    } else if (kind == 'O' || kind == 'o') {
      radix = 8;
    } else {
      return false;
    }
    pos += 2;
  } else if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
    ++pos;
  }
  bool seen_point = radix != 10;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (IsBlank(c)) continue;
    if (IsDigitOf(c, radix)) return true;
    if (c != '.' || seen_point) return false;
    seen_point = true;
  }
  return false;
}

}  // namespace

ElementStates DesignStates() {
  ElementStates states{};
  const ElementFlags first = ElementFlags::FirstStart();
  for (int i = 0; i < kElementCount; ++i)
    states[i] = first.Items[i] ? kTicked : kUnticked;
  return states;
}

ElementStates StatesFromStore(const std::array<std::optional<int>, kElementCount>& stored) {
  ElementStates states = DesignStates();
  for (int i = 0; i < kElementCount; ++i) {
    const std::optional<int>& value = stored[i];
    if (value && *value >= kUnticked && *value <= kGreyed) states[i] = *value;
  }
  return states;
}

ElementEffects ElementChange(const ElementStates& states, bool playing) {
  auto on = [&](Element e) { return Ticked(states[static_cast<size_t>(e)]); };
  ElementEffects effects;
  effects.DetailsEnabled = on(Element::Objects);
  effects.GaugeVisible = on(Element::PolyGauge);
  effects.ObjButton = on(Element::Objects);
  effects.BgaButton = on(Element::Bga);
  effects.PolyButton = on(Element::PolyGauge);
  effects.GaugeTimer = on(Element::PolyGauge);
  effects.SevenKeys = on(Element::SevenLines);
  // AutoWait OFF removes the scheduler's timer only during play; the timer removes itself when
  // it fires with nothing playing.
  effects.TickTimer = !(on(Element::AutoWaitOff) && playing);
  for (int i = 0; i < kElementCount; ++i)
    effects.Flags.Items[i] = Ticked(states[i]);
  effects.ShowStillPicture = !playing;
  return effects;
}

float ZoomAtPosition(int position) {
  static constexpr float kSmallSteps[] = {0.25f, 0.5f, 0.75f, 1.0f, 1.25f, 1.5f};
  int step = kZoomPositions - position;
  if (step < 0) step = 0;
  if (step > kZoomPositions) step = kZoomPositions;
  if (step < 6) return kSmallSteps[step];
  return static_cast<float>(step - 4);
}

std::string ZoomLabel(float zoom) {
  // to_chars gives the shortest exact form and, unlike printf, ignores the process locale.
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, zoom);
  return std::string(buffer, result.ptr) + "x";
}

std::optional<double> TempoBoxNumber(std::string_view text) {
  if (!StartsWithNumber(text)) return std::nullopt;
  return ReadNumber(text);
}

std::optional<double> TempoFromText(std::string_view text, bool decimals) {
  if (!StartsWithNumber(text)) return 0.0;
  const std::optional<double> number = ReadNumber(text);
  if (!number) return std::nullopt;
  const std::optional<int16_t> whole = ToWhole<int16_t>(*number);
  if (!whole) return std::nullopt;
  if (!decimals) return static_cast<double>(*whole);
  return std::nearbyint(*number * 100.0) / 100.0;
}

}  // namespace quillon::panel
