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
  EXPECT_EQ(TempoFromText(" 150abc"), 150.0);
  EXPECT_EQ(TempoFromText("150.5"), 150.0);  // halves to even
  EXPECT_EQ(TempoFromText("151.5"), 152.0);
  EXPECT_EQ(TempoFromText("&H96"), 150.0);
  EXPECT_EQ(TempoFromText("1e400"), std::nullopt);
  // A chart of the extended reading keeps two decimals, within the same range.
  EXPECT_EQ(TempoFromText("155.5", true), 155.5);
  EXPECT_EQ(TempoFromText("133.3333", true), 133.33);
  EXPECT_EQ(TempoFromText("40000.5", true), std::nullopt);
  EXPECT_EQ(TempoFromText("abc", true), 0.0);
  // The play start reads the same number but skips a text without one.
  EXPECT_EQ(TempoBoxNumber("0"), 0.0);
  EXPECT_EQ(TempoBoxNumber("-.5"), -0.5);
  for (const char* text : {"abc", ".", "-", "&Hzz"})
    EXPECT_EQ(TempoBoxNumber(text), std::nullopt) << text;
}

}  // namespace
}  // namespace quillon::panel
