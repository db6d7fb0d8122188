// The media controls' pure side: the track description, file URLs both ways, and the measure a
// seek to a play time lands on.
#include <gtest/gtest.h>

#include <cmath>

#include "shell/mpris_track.h"

namespace quillon {
namespace {

TEST(MediaTrackTest, DescribesTheLoadedChart) {
  BmsHeader header;
  header.FilePath = "/charts/my song/a#b.bms";
  header.Title = "Song";
  header.SubTitle = "[HYPER]";
  header.Artist = "Someone";
  header.Genre = "Trance";
  const MediaTrack track = DescribeTrack(header, 95'250, "/charts/my song/stage.png", 7);
  EXPECT_EQ(track.TrackId, "/org/quillon/Quillon/track/7");
  EXPECT_EQ(track.Title, "Song [HYPER]");
  EXPECT_EQ(track.Artist, "Someone");
  EXPECT_EQ(track.Genre, "Trance");
  EXPECT_EQ(track.LengthUs, 95'250'000);
  EXPECT_EQ(track.Url, "file:///charts/my%20song/a%23b.bms");
  EXPECT_EQ(track.ArtUrl, "file:///charts/my%20song/stage.png");

  // A subtitle alone is the title; no stage picture, no art; a new load is a new track.
  header.Title.clear();
  const MediaTrack other = DescribeTrack(header, -5, "", 8);
  EXPECT_EQ(other.Title, "[HYPER]");
  EXPECT_EQ(other.LengthUs, 0);
  EXPECT_TRUE(other.ArtUrl.empty());
  EXPECT_NE(other.TrackId, track.TrackId);

  // No chart, no track.
  EXPECT_EQ(DescribeTrack(BmsHeader{}, 1000, "/x.png", 1), MediaTrack{});

  EXPECT_EQ(PlaybackStatusName(true, false), "Playing");
  EXPECT_EQ(PlaybackStatusName(true, true), "Paused");
  EXPECT_EQ(PlaybackStatusName(false, false), "Stopped");
}

TEST(MediaTrackTest, FileUrlsEncodeEveryByteAndDecodeBack) {
  const std::string odd = std::string("/d/\xE6\x9B\xB2 100%?#\x82\xA0") + "~._-/x.bms";
  const std::string url = FileUrl(odd);
  EXPECT_EQ(url, "file:///d/%E6%9B%B2%20100%25%3F%23%82%A0~._-/x.bms");
  EXPECT_EQ(PathOfFileUrl(url), odd);
  EXPECT_EQ(PathOfFileUrl("file://localhost/a%2fb"), "/a/b");
  EXPECT_EQ(PathOfFileUrl("file:///a/b.bms"), "/a/b.bms");

  EXPECT_EQ(FileUrl(""), "");
  EXPECT_EQ(FileUrl("relative/x.bms"), "");
  for (const char* bad : {"", "http://host/a.bms", "file://host/a.bms", "file:a.bms", "file:///a%2",
                          "file:///a%zz", "file:///a%00b", "/a/b.bms"}) {
    EXPECT_EQ(PathOfFileUrl(bad), "") << bad;
  }
}

// Bar lines at 0, 192, 384 and 576 units: 120 BPM for the first measure (2000 ms), 240 BPM from
// measure 1 on (1000 ms a measure).
Chart TwoTempoChart() {
  Chart chart;
  chart.StartBpm = 120;
  chart.ObjectTable = {
      {channel::kBarLine, 0, 0, false, 0},   {channel::kBarLine, 192, 0, false, 1},
      {channel::kTempo, 192, 240, false, 0}, {channel::kBarLine, 384, 0, false, 2},
      {channel::kBarLine, 576, 0, false, 3},
  };
  chart.ObjectLast = 4;
  chart.LastMeasure = 3;
  return chart;
}

TEST(MediaTrackTest, ATimeSeeksToTheMeasureStartingAtOrBeforeIt) {
  const Chart chart = TwoTempoChart();
  const TempoMap map(chart);
  const std::pair<double, int> cases[] = {{-5, 0},   {0, 0},    {1999, 0}, {2000, 1}, {2999, 1},
                                          {3000, 2}, {3999, 2}, {4000, 3}, {1e12, 3}};
  for (const auto& [ms, measure] : cases) {
    EXPECT_EQ(MeasureAtTime(chart, map, ms), measure) << ms;
  }
  EXPECT_EQ(MeasureAtTime(chart, map, std::nan("")), 0);

  // A table shorter than ObjectLast says, and an empty chart, stay in bounds.
  Chart cut = chart;
  cut.ObjectLast = 40;
  EXPECT_EQ(MeasureAtTime(cut, map, 1e12), 3);
  EXPECT_EQ(MeasureAtTime(Chart{}, TempoMap(), 1000), 0);
}

}  // namespace
}  // namespace quillon
