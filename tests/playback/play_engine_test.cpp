// The play engine's state machine under a fake clock: what fires when, pause, seek, stop, ends.
#include "playback/play_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "chart/loader.h"
#include "chart/timing.h"
#include "playback/sound_backend.h"
#include "playback/sound_device.h"

namespace quillon {
namespace {

class FakeClock : public TickClock {
 public:
  int32_t now = 100000;
  int32_t Now() override { return now; }
  void Sleep(int32_t ms) override { now += ms; }
};

struct Fired {
  int32_t id;
  double ms;
};

class RecordingSounds : public PlaySounds {
 public:
  std::vector<Fired> fired;
  std::vector<int32_t> stopped;
  void Anchor(double) override {}
  void Restart(int32_t id, double ms) override { fired.push_back({id, ms}); }
  void Stop(int32_t id) override { stopped.push_back(id); }
};

class FakeView : public PlayView {
 public:
  FakeClock* clock = nullptr;
  std::optional<double> tempo_box;
  std::vector<std::string> log;
  // Actions run from ProcessEvents once the clock reaches their time (ms after the first call).
  std::multimap<int32_t, std::function<void()>> at;
  int32_t first = -1;
  bool end_timer = false;
  int next_loads = 0;
  std::function<void()> on_draw;  // runs at every frame drawn

  void Status(int text_id, std::string_view icon) override {
    log.push_back("status " + std::to_string(text_id) + " " + std::string(icon));
  }
  void Notify(std::string_view text) override { log.push_back("notify " + std::string(text)); }
  void ProcessEvents() override {
    if (first < 0) first = clock->now;
    clock->now += 1;  // each pass takes a millisecond
    while (!at.empty() && at.begin()->first <= clock->now - first) {
      auto action = at.begin()->second;
      at.erase(at.begin());
      action();
    }
  }
  void DrawFrame() override {
    if (on_draw) on_draw();
  }
  void PostEndTimer() override { end_timer = true; }
  void NextLoad(bool) override { ++next_loads; }
  std::optional<double> TempoBoxValue() const override { return tempo_box; }
};

class PlayEngineTest : public ::testing::Test {
 protected:
  void Load(std::initializer_list<std::string_view> lines, bool extended = false) {
    std::string text;
    for (std::string_view line : lines)
      text += std::string(line) + "\r\n";
    LoadView load_view;
    LoadOptions options;
    options.Seed = 1;
    options.Extended = extended;
    ChartLoader loader(chart, load_view, flags, nullptr, options);
    loader.LoadBmsBytes("/x/chart.bms", text, false);
    for (int id = 1; id < kIdCount; ++id)
      chart.SoundTable[id] = id;  // buffer id = sound id
    view.clock = &clock;
    view.tempo_box = chart.Header.Bpm;
  }
  // Fired sound ids in order.
  std::vector<int32_t> Ids() const {
    std::vector<int32_t> ids;
    for (const Fired& f : sounds.fired)
      ids.push_back(f.id);
    return ids;
  }

  Chart chart;
  ElementFlags flags = ElementFlags::FirstStart();
  FakeClock clock;
  FakeView view;
  RecordingSounds sounds;
  PlayEngine engine{chart, flags, clock, view, sounds};
};

TEST_F(PlayEngineTest, PlaysToTheEndWithSoundsAtTheirExactTimes) {
  // 120 BPM: 192 units take 2000 ms. Measure 2 changes to 240 BPM.
  Load({"#BPM 120", "#00001:0102", "#00111:03", "#00203:F0", "#00211:0404", "#00311:05"});
  engine.PlayFile();
  EXPECT_EQ(Ids(), (std::vector<int32_t>{1, 2, 3, 4, 4, 5}));
  const TempoMap tempo(chart);
  const std::vector<double> positions = {0, 96, 192, 384, 480, 576};
  for (size_t k = 0; k < positions.size(); ++k) {
    EXPECT_NEAR(sounds.fired[k].ms, tempo.TimeAt(positions[k]), 1e-9) << k;
  }
  EXPECT_EQ(engine.TriggeredCount, 4);
  // Play ran past EndPosition + 256 and armed the end-of-chart follow-up.
  EXPECT_FALSE(engine.Playing);
  EXPECT_TRUE(view.end_timer);
  EXPECT_EQ(view.log.front(), "notify PENABLED True");
  EXPECT_EQ(view.log[1], "status 1002 PLAY");
  const int32_t played_ms = clock.now - 100000;
  EXPECT_GE(played_ms, tempo.TimeAt(chart.EndPosition + 256) - 2);
  EXPECT_LE(played_ms, tempo.TimeAt(chart.EndPosition + 256) + 3);
}

TEST_F(PlayEngineTest, AStartAtALaterMeasurePlaysAtTheTempoInForceThere) {
  // 120 BPM, 240 from measure 3 on: a measure takes 2000 ms, then 1000 ms.
  Load({"#BPM 120", "#00303:F0", "#00411:01", "#00511:02", "#00611:03"});
  engine.StartMeasure = "5";  // as -P -N5, or a start measure set on the position bar
  view.at.insert({0, [&] {
                    // The first pass: the clock reads bar line 5, at the chart's 240 BPM.
                    EXPECT_NEAR(engine.PlayPosition, 5 * 192, 0.5);
                    EXPECT_EQ(chart.CurrentBpm, 240);
                  }});
  engine.PlayFile();
  EXPECT_EQ(Ids(), (std::vector<int32_t>{2, 3}));
  ASSERT_EQ(sounds.fired.size(), 2u);
  EXPECT_NEAR(sounds.fired[1].ms - sounds.fired[0].ms, 1000.0, 1e-9);
  EXPECT_EQ(engine.TriggeredCount, 3);  // the key before measure 5 is counted by the start scan
  // Play from bar line 5 past the end took the time of 240 BPM, not of 120.
  EXPECT_NEAR(clock.now - 100000, (chart.EndPosition + 256 - 5 * 192) * 1250 / 240.0, 3);

  // A seek during play (FF, the position bar) lands at that tempo too.
  sounds.fired.clear();
  engine.StartMeasure = "0";
  view.first = -1;
  view.at.insert({100, [&] { engine.CPosChange(0, 5); }});
  view.at.insert({101, [&] { EXPECT_EQ(chart.CurrentBpm, 240); }});
  engine.PlayFile();
  EXPECT_EQ(Ids(), (std::vector<int32_t>{2, 3}));
  EXPECT_NEAR(sounds.fired[1].ms - sounds.fired[0].ms, 1000.0, 1e-9);
}

TEST_F(PlayEngineTest, ATempoTheUserSetOverridesTheChartsUntilTheNextLoad) {
  Load({"#BPM 120", "#00303:F0", "#00411:01", "#00511:02", "#00611:03"});
  view.tempo_box = 90;
  engine.SetTempo(90, /*by_user=*/true);
  engine.StartMeasure = "5";
  view.at.insert({0, [&] { EXPECT_EQ(chart.CurrentBpm, 90); }});
  engine.PlayFile();
  ASSERT_EQ(Ids(), (std::vector<int32_t>{2, 3}));
  EXPECT_NEAR(sounds.fired[1].ms - sounds.fired[0].ms, 192 * 1250 / 90.0, 1e-9);

  // A load fills the box with the header tempo: the chart's tempo holds again.
  view.tempo_box = 120;
  engine.SetTempo(120, /*by_user=*/false);
  sounds.fired.clear();
  view.first = -1;
  engine.PlayFile();
  EXPECT_NEAR(sounds.fired[1].ms - sounds.fired[0].ms, 1000.0, 1e-9);
}

TEST_F(PlayEngineTest, ASeekPastPictureSwitchesShowsThemInItsFirstFrame) {
  // Base 02 and layer 03 switch on in measure 1, base 04 in measure 3.
  Load({"#BPM 120", "#00104:02", "#00107:03", "#00304:04", "#00511:01"});
  for (int id : {2, 3, 4})
    chart.BgaPictures[id].PictureDc = 100 + id;
  std::vector<std::pair<int16_t, int16_t>> frames;  // base and layer of each frame drawn
  view.on_draw = [&] { frames.emplace_back(engine.CurrentBga, engine.CurrentLayer); };
  using Shown = std::pair<int16_t, int16_t>;

  // Stopped: the still picture at measure 2.
  engine.CPosChange(0, 2);
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames.back(), Shown(2, 3));

  // While playing from measure 0: a seek to measure 4 shows base 04 with layer 03 at once.
  engine.StartMeasure = "0";
  size_t seek_frame = 0;
  view.at.insert({100, [&] {
                    EXPECT_EQ(frames.back(), Shown(0, 0));  // nothing switched yet
                    engine.CPosChange(0, 4);
                    seek_frame = frames.size();
                  }});
  engine.PlayFile();
  ASSERT_GT(frames.size(), seek_frame);
  EXPECT_EQ(frames[seek_frame], Shown(4, 3));
  EXPECT_TRUE(engine.BgaShown);
  EXPECT_TRUE(engine.LayerShown);
}

TEST_F(PlayEngineTest, PauseCutsSoundsAndResumesWhereItStopped) {
  Load({"#BPM 120", "#00011:0101010101010101", "#00111:0101"});
  double paused_at = 0;
  view.at.insert({1000, [&] {
                    engine.PauseFile();
                    paused_at = engine.PlayPosition;
                  }});
  view.at.insert({11000, [&] {
                    EXPECT_NEAR(engine.PlayPosition, paused_at, 1e-9);  // frozen for 10 s
                    engine.PauseFile();
                  }});
  engine.PlayFile();
  EXPECT_EQ(std::count(sounds.stopped.begin(), sounds.stopped.end(), 1), 1);
  EXPECT_EQ(sounds.fired.size(), 10u);  // every note once, none lost to the pause
  EXPECT_NE(std::find(view.log.begin(), view.log.end(), "status 1003 PAUSE"), view.log.end());
  // Play took the chart's length plus the 10 s pause.
  const int32_t length = TempoMap(chart).TimeAt(chart.EndPosition + 256);
  EXPECT_NEAR(clock.now - 100000, length + 10000, 8);  // passes are 1 ms, 6 ms while paused
}

TEST_F(PlayEngineTest, SeeksWhilePlayingAndWhilePaused) {
  Load({"#BPM 120", "#00111:01", "#00211:02", "#00311:03", "#00411:04", "#00511:05"});
  view.at.insert({100, [&] { engine.CPosChange(0, 3); }});
  engine.PlayFile();
  EXPECT_EQ(Ids(), (std::vector<int32_t>{3, 4, 5}));

  // Paused in measure 2, seek to 4, resume: play goes on from measure 4, with no jump.
  sounds.fired.clear();
  view.at.insert({2500, [&] { engine.PauseFile(); }});
  view.at.insert({5000, [&] { engine.CPosChange(0, 4); }});
  view.at.insert({8000, [&] { engine.PauseFile(); }});
  view.first = -1;
  engine.StartMeasure = "1";
  engine.PlayFile();
  EXPECT_EQ(Ids(), (std::vector<int32_t>{1, 2, 4, 5}));
  EXPECT_NEAR(sounds.fired[2].ms, TempoMap(chart).TimeAt(4 * 192), 1e-9);
}

TEST_F(PlayEngineTest, RewindAndFastForwardStopAtTheEnds) {
  Load({"#BPM 120", "#00311:01"});
  engine.CPosChange(0, 1);
  engine.RewFile();
  EXPECT_EQ(engine.StartMeasure, "0");
  engine.CPosChange(0, chart.LastMeasure);
  engine.FFFile();
  EXPECT_EQ(engine.StartMeasure, std::to_string(chart.LastMeasure));
  // From the position bar: the measure under x of a bar 100 wide.
  engine.CPosChange(50, 0, 100);
  EXPECT_EQ(engine.StartMeasure, std::to_string((chart.LastMeasure + 1) * 50 / 100 + 1));
}

TEST_F(PlayEngineTest, StopEndsPlayAndRepeatModesFollowTheEnd) {
  Load({"#BPM 120", "#00011:01", "#00211:02"});
  view.at.insert({500, [&] { engine.StopFile(); }});
  engine.PlayFile();
  EXPECT_EQ(Ids(), (std::vector<int32_t>{1}));
  EXPECT_FALSE(view.end_timer);
  EXPECT_EQ(view.log.back(), "notify PENABLED False");

  engine.RepeatMode = 1;
  view.first = -1;
  engine.PlayFile();
  ASSERT_TRUE(view.end_timer);
  view.end_timer = false;
  engine.OnEndTimer();  // repeat the chart: it plays again
  EXPECT_EQ(Ids(), (std::vector<int32_t>{1, 1, 2, 1, 2}));
  engine.RepeatMode = 2;
  engine.OnEndTimer();
  EXPECT_EQ(view.next_loads, 1);
}

TEST_F(PlayEngineTest, ATempoOfZeroStandsStillUntilStopped) {
  Load({"#00011:01", "#00111:02"});  // no #BPM: the start tempo is 0
  view.at.insert({3000, [&] { engine.StopFile(); }});
  engine.PlayFile();
  EXPECT_EQ(Ids(), (std::vector<int32_t>{1}));  // position 0 only; nothing after it is reached
  EXPECT_GE(clock.now - 100000, 3000);
}

// A chart of the extended reading at 120 BPM (192 units take 2000 ms): background 01 at 0; key
// 11 at 96; a 96-unit stop (1000 ms) at 192 where key 12 lies, with an invisible note, a mine, a
// zone and a poor picture, all silent; 20 at 240; at 288 a change to 150.5 (08) and a long-note
// head (51); the second layer at 384; key 13 at 480.
class ExtendedEngineTest : public PlayEngineTest {
 protected:
  void SetUp() override {
    Load({"#BPM 120", "#BPM05 150.5", "#STOP01 96", "#00001:01", "#00011:0002", "#00109:01",
          "#00112:03", "#00131:09", "#001D1:09", "#00117:09", "#00106:09", "#00120:00040000",
          "#00108:0005", "#00151:0005", "#0020A:14", "#00213:0006"},
         /*extended=*/true);
    chart.BgaPictures[40].PictureDc = 1;  // id "14"
  }
  // The fired sound times, relative to the first.
  std::vector<double> Times() const {
    std::vector<double> times;
    for (const Fired& f : sounds.fired)
      times.push_back(f.ms - sounds.fired.front().ms);
    return times;
  }
};

constexpr double kAfterChange = 4000;  // the time of position 288

TEST_F(ExtendedEngineTest, SoundsAtExactTimesAcrossAStopAndADecimalTempo) {
  view.at.insert({2500, [&] { EXPECT_DOUBLE_EQ(engine.PlayPosition, 192); }});  // stopped
  view.at.insert({3300, [&] { EXPECT_EQ(chart.CurrentBpm, 120); }});
  view.at.insert({4500, [&] {
                    EXPECT_EQ(chart.CurrentBpm, 150.5);
                    EXPECT_EQ(engine.CurrentLayer2, 0);
                  }});
  view.at.insert({5500, [&] {
                    EXPECT_EQ(engine.CurrentLayer2, 40);
                    EXPECT_TRUE(engine.Layer2Shown);
                  }});
  engine.PlayFile();
  // 01, 11, 12 (as the stop starts), 20, the long-note head, 13; the silent channels none.
  EXPECT_EQ(Ids(), (std::vector<int32_t>{1, 2, 3, 4, 5, 6}));
  const std::vector<double> expected = {0,    1000,         2000,
                                        3500, kAfterChange, kAfterChange + 192 * 1250 / 150.5};
  ASSERT_EQ(sounds.fired.size(), expected.size());
  for (size_t k = 0; k < expected.size(); ++k)
    EXPECT_NEAR(sounds.fired[k].ms, expected[k], 1e-9) << k;
  EXPECT_EQ(engine.TriggeredCount, 4);  // 11, 12, the head, 13
  EXPECT_EQ(chart.NoteCount, 4);
  // Play ran on the chart's time, stop included, to 256 units past the end.
  const double end_ms = kAfterChange + (chart.EndPosition + 256 - 288) * 1250 / 150.5;
  EXPECT_NEAR(clock.now - 100000, end_ms, 3);
  EXPECT_TRUE(view.end_timer);
  EXPECT_DOUBLE_EQ(ExportLimitMs(chart, chart.StartBpm), end_ms + 10000);
  // However long the stops, an export's limit is bounded.
  chart.StopValues[1] = 1e9;
  EXPECT_DOUBLE_EQ(ExportLimitMs(chart, chart.StartBpm), kExtendedExportCapMs);
}

TEST_F(ExtendedEngineTest, SeeksAndStartsAfterAStopKeepChartTime) {
  engine.StartMeasure = "2";
  view.at.insert({0, [&] {
                    EXPECT_NEAR(engine.PlayPosition, 384, 0.5);
                    EXPECT_EQ(chart.CurrentBpm, 150.5);
                  }});
  engine.PlayFile();
  EXPECT_EQ(Ids(), (std::vector<int32_t>{6}));
  EXPECT_NEAR(sounds.fired[0].ms, kAfterChange + 192 * 1250 / 150.5, 1e-9);
  EXPECT_EQ(engine.TriggeredCount, 4);  // three counted by the start scan
  EXPECT_NEAR(clock.now - 100000, (chart.EndPosition + 256 - 384) * 1250 / 150.5, 3);

  // A seek back during the stop (key 12 at the stop sounds again), then one while paused: both
  // land on the chart's time.
  sounds.fired.clear();
  engine.StartMeasure = "0";
  view.first = -1;
  view.at.insert({2300, [&] { engine.CPosChange(0, 1); }});  // during the stop at 192
  view.at.insert({2400, [&] { engine.PauseFile(); }});
  view.at.insert({2500, [&] { engine.CPosChange(0, 2); }});
  view.at.insert({2600, [&] { engine.PauseFile(); }});
  engine.PlayFile();
  EXPECT_EQ(Ids(), (std::vector<int32_t>{1, 2, 3, 3, 6}));
  EXPECT_NEAR(sounds.fired.back().ms, kAfterChange + 192 * 1250 / 150.5, 1e-9);
}

TEST_F(ExtendedEngineTest, TheUsersTempoHoldsUntilTheChartsNextChange) {
  view.at.insert({500, [&] {
                    view.tempo_box = 60;
                    engine.SetTempo(60, /*by_user=*/true);
                  }});
  engine.PlayFile();
  ASSERT_EQ(Ids(), (std::vector<int32_t>{1, 2, 3, 4, 5, 6}));
  // At 60 the stop lasts 2000 ms and 48 units 1000; from 288 the chart's 150.5 holds again.
  std::vector<double> t = Times();
  EXPECT_NEAR(t[3] - t[2], 2000 + 1000, 1e-9);
  EXPECT_NEAR(t[4] - t[3], 1000, 1e-9);
  EXPECT_NEAR(t[5] - t[4], 192 * 1250 / 150.5, 1e-9);

  // The next play starts at the box's tempo.
  sounds.fired.clear();
  view.first = -1;
  engine.PlayFile();
  t = Times();
  EXPECT_NEAR(t[1], 96 * 1250 / 60.0, 1e-9);
  EXPECT_NEAR(t[5] - t[4], 192 * 1250 / 150.5, 1e-9);
}

}  // namespace
}  // namespace quillon

namespace quillon {
namespace {

TEST(AudioTickClockTest, KeepsTimeWithTheFramesPlayed) {
  auto backend = std::make_unique<MemoryBackend>(44100);
  MemoryBackend& memory = *backend;
  SoundDevice device(std::move(backend));
  ASSERT_NE(device.dsInitialize2(0, 2), 0);
  AudioTickClock clock(device);
  const int32_t start = clock.Now();
  std::vector<int16_t> out(2 * 44100);
  memory.Render(out.data(), 44100);  // one second of output, rendered at once
  const int32_t later = clock.Now();
  EXPECT_GE(later - start, 1000);
  EXPECT_LT(later - start, 1050);
  EXPECT_GE(clock.Now(), later);  // never backwards
}

// A chart at another rate reopens the device, whose frame count starts over: the clock goes on
// from where it was, counting the new frames at the new rate.
TEST(AudioTickClockTest, GoesOnAcrossAReopenAtAnotherRate) {
  auto backend = std::make_unique<MemoryBackend>(44100, MemoryBackend::Rates::Asked);
  MemoryBackend& memory = *backend;
  SoundDevice device(std::move(backend));
  ASSERT_NE(device.dsInitialize2(0, 2), 0);
  AudioTickClock clock(device);
  std::vector<int16_t> out(2 * 48000);
  memory.Render(out.data(), 44100);
  const int32_t before = clock.Now();
  ASSERT_EQ(device.UseRate(48000), 48000);
  const int32_t reopened = clock.Now();
  EXPECT_GE(reopened, before);
  EXPECT_LT(reopened - before, 50);
  memory.Render(out.data(), 48000);
  const int32_t later = clock.Now();
  EXPECT_GE(later - reopened, 1000);
  EXPECT_LT(later - reopened, 1050);
}

// Sounds are placed on the frames of the rate the device mixes at.
TEST(DeviceSoundsTest, PlacesSoundsOnTheMixRatesFrames) {
  auto backend = std::make_unique<MemoryBackend>(44100, MemoryBackend::Rates::Asked);
  MemoryBackend& memory = *backend;
  SoundDevice device(std::move(backend));
  ASSERT_NE(device.dsInitialize2(0, 2), 0);
  ASSERT_EQ(device.UseRate(48000), 48000);
  const int32_t id =
      device.CreateBuffer(std::make_shared<const DecodedSound>(DecodedSound{48000, 1, {500}}));
  DeviceSounds sounds(device, /*latency_ms=*/40);
  sounds.Anchor(1000.0);
  sounds.Restart(id, 1500.25);  // 40 ms + 500.25 ms after the anchor, at 48 frames a ms
  std::vector<int16_t> out(2 * 48000);
  memory.Render(out.data(), 48000);
  std::vector<size_t> sounding;
  for (size_t i = 0; i < out.size(); i += 2)
    if (out[i] != 0) sounding.push_back(i / 2);
  EXPECT_EQ(sounding, (std::vector<size_t>{1920 + 24012}));
}

}  // namespace
}  // namespace quillon
