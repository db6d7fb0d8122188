#include "dialogs/control_panel_steps.h"

#include <gtest/gtest.h>

namespace quillon::panel {
namespace {

TEST(ControlPanelSteps, ZoomRunsFromTenAtTheTopToAQuarterAtTheBottom) {
  const std::pair<int, float> table[] = {{14, 0.25f}, {11, 1.0f}, {9, 1.5f}, {0, 10.0f}};
  for (const auto& [position, zoom] : table)
    EXPECT_EQ(ZoomAtPosition(position), zoom) << position;
  EXPECT_EQ(ZoomLabel(1.25f), "1.25x");
}

TEST(ControlPanelSteps, TempoTextCountsAsZeroWithoutANumberAndSkipsOverflow) {
  EXPECT_EQ(TempoFromText(" 150abc"), int16_t{150});
  EXPECT_EQ(TempoFromText("150.5"), int16_t{150});  // halves to even
  EXPECT_EQ(TempoFromText("151.5"), int16_t{152});
  EXPECT_EQ(TempoFromText("&H96"), int16_t{150});
  EXPECT_EQ(TempoFromText("1e400"), std::nullopt);
  // The play start reads the same number but skips a text without one.
  EXPECT_EQ(TempoBoxNumber("0"), 0.0);
  EXPECT_EQ(TempoBoxNumber("-.5"), -0.5);
  for (const char* text : {"abc", ".", "-", "&Hzz"})
    EXPECT_EQ(TempoBoxNumber(text), std::nullopt) << text;
}

}  // namespace
}  // namespace quillon::panel
