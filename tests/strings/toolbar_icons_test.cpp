#include "resources/toolbar_icons.h"

#include <gtest/gtest.h>

#include <string>

namespace quillon {
namespace {

TEST(ToolbarIcons, EveryKeyHasItsOwnGlyphAndUnknownKeysNone) {
  const char* keys[] = {"OPEN", "RELOAD", "OPTION", "PLAYLIST", "PROP",  "CP",
                        "OBJ",  "BGA",    "POLY",   "PLAY",     "PAUSE", "STOP",
                        "PREV", "REW",    "FF",     "NEXT",     "REP1",  "REPA"};
  for (const char* key : keys) {
    const QImage image = ToolbarImage(key);
    EXPECT_EQ(image.size(), QSize(16, 16)) << key;
    for (const char* other : keys) {
      if (std::string(other) != key) {
        EXPECT_NE(ToolbarImage(other), image) << key << " " << other;
      }
    }
  }
  for (const char* key : {"", "play", "PLAY ", "BMPOUT"})
    EXPECT_TRUE(ToolbarImage(key).isNull()) << key;
  EXPECT_TRUE(ProgramIcon().availableSizes().contains(QSize(32, 32)));
}

}  // namespace
}  // namespace quillon
