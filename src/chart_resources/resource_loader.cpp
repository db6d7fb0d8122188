#include "chart_resources/resource_loader.h"

#include <QImage>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>

#include "chart/ids.h"
#include "chart/numbers.h"
#include "chart/ordered_work.h"
#include "chart/text_util.h"
#include "platform/file_io.h"
#include "platform/file_lookup.h"
#include "platform/picture_file.h"
#include "resources/string_table.h"
#include "video/movie.h"

namespace quillon {
namespace {

constexpr int kBgaSize = 256;

// The id of #WAV or #BMP line `index`: its characters 5 and 6, read as hexadecimal in the
// classic reading, in base 36 or 62 (the line as written) in the extended one; 0 when they are
// no id.
int IdOf(const CompiledLines& lines, size_t index) {
  if (lines.IdBase == 16) {
    return ReadWhole<int16_t>("&H" + std::string(Mid(lines.Lines[index], 5, 2))).value_or(0);
  }
  const std::string_view line = lines.OriginalLine(index);
  return line.size() >= 6 ? ReadId(line[4], line[5], lines.IdBase) : 0;
}

// The file name of a #WAV or #BMP line: from its 7th character on, as written.
std::string NameOf(std::string_view line) {
  return TrimNull(Mid(line, 7));
}

// The list item of definition line `index`: "01:KICK.WAV" (the id as written).
std::string ItemOf(const CompiledLines& lines, size_t index) {
  return std::string(Mid(lines.OriginalLine(index), 5, 2)) + ":" + NameOf(lines.Lines[index]);
}

std::string RelativeTo(const std::string& folder, const std::string& path) {
  return path.compare(0, folder.size(), folder) == 0 ? path.substr(folder.size()) : path;
}

// The progress of file `done` of `total`, as the bar's fraction and the percentage shown.
void ShowFileProgress(LoadView& view, size_t done, size_t total, std::string_view what) {
  const double files = total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
  view.SetProgress(0.1 + 0.8 * files);
  const int16_t percent = ToWhole<int16_t>(files * 80 + 10).value_or(0);
  std::string text = "[";
  text += std::to_string(percent);
  text += "%] ";
  text += what;
  view.ShowProgress(text);
}

struct SoundJob {
  int id = 0;
  std::string resolved;  // empty when the file was not found
};

struct DecodeResult {
  bool ok = false;
  std::shared_ptr<const DecodedSound> sound;
};

// The sound in `path` decoded at `rate` (kFileRate: its own). A file that is refused (not a
// regular file, too large, gone) fails like one that does not decode. The decoder reads the file
// itself, straight into the sound's buffer.
DecodeResult DecodeFile(const std::string& path, int32_t rate) {
  DecodeResult result;
  if (path.empty()) return result;
  const OpenedFile file = OpenUserFile(path, kSoundFileCap);
  if (!file.ok()) return result;
  auto sound = std::make_shared<DecodedSound>();
  std::string error;
  result.ok = DecodeSound(file.fd(), file.size(), rate, *sound, error);
  if (result.ok) result.sound = std::move(sound);
  return result;
}

// The file a #BMP line names, and whether it is a movie.
struct BgaFile {
  std::string path;  // empty when nothing was found
  bool movie = false;
};

// A picture is looked for under its own name and the common picture extensions. A movie is named
// by its extension, or found as a missing picture's name with a movie extension; packages often
// ship an .mp4 beside the .mpg a chart names, and the .mp4 is then taken.
BgaFile FindBgaFile(ChartFileFinder& finder, std::string_view name) {
  const auto find_movie = [&finder](std::string_view movie) {
    return finder.FindWithExtensions(
        movie, {".mp4", ".mpg", ".mpeg", ".m4v", ".avi", ".wmv", ".webm", ".mkv", ".mov"});
  };
  if (HasMovieExtension(name)) {
    const size_t dot = name.rfind('.');
    std::string extension(name.substr(dot));
    for (char& c : extension)
      c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (extension == ".mpg" || extension == ".mpeg") {
      if (auto mp4 = finder.Find(std::string(name.substr(0, dot)) + ".mp4")) {
        return {std::move(*mp4), true};
      }
    }
    return {find_movie(name).value_or(std::string()), true};
  }
  if (auto picture = finder.FindWithExtensions(name, {".bmp", ".png", ".jpg", ".jpeg"})) {
    return {std::move(*picture), false};
  }
  if (auto movie = find_movie(name)) {
    return {std::move(*movie), true};
  }
  return {};
}

// A #BMP file as read by a worker: a picture (RGB32), or a movie's facts and first frame as the
// BGA shows it.
struct BgaRead {
  QImage image;
  std::optional<MovieInfo> movie;
  std::string error;
};

BgaRead ReadBgaFile(const BgaFile& file) {
  BgaRead read;
  if (file.path.empty()) {
    read.error = "file not found";
  } else if (file.movie) {
    read.movie = ProbeMovie(file.path, read.error, &read.image);
  } else {
    read.image = ReadPictureFile(file.path);
    if (!read.image.isNull()) read.image = read.image.convertToFormat(QImage::Format_RGB32);
  }
  return read;
}

// "640x480, 29.97 fps", with the length before the frame rate when `with_length`
// ("640x480, 1:05.2, 29.97 fps").
std::string MovieSummary(const MovieInfo& movie, bool with_length) {
  char text[96];
  const double seconds = movie.DurationMs / 1000.0;
  char length[32] = "";
  if (with_length) {
    std::snprintf(length, sizeof length, ", %d:%04.1f", static_cast<int>(seconds / 60),
                  std::fmod(seconds, 60.0));
  }
  std::snprintf(text, sizeof text, "%dx%d%s, %.2f fps", movie.Width, movie.Height, length,
                movie.Fps);
  std::string summary(text);
  // "30.00 fps" reads "30 fps".
  const size_t zeros = summary.find(".00 fps");
  if (zeros != std::string::npos) summary.erase(zeros, 3);
  return summary;
}

}  // namespace

int32_t VolumeLevel(int16_t wave_volume) {
  if (wave_volume <= 0) return -10000;
  const double level = 2000.0 * std::log10(wave_volume / 100.0);
  return static_cast<int32_t>(std::clamp(std::nearbyint(level), -10000.0, 0.0));
}

ResourceLoader::ResourceLoader(SoundDevice& sound, const int32_t& device, SoundMessages& messages,
                               SurfaceRegistry& surfaces, const ElementFlags& flags)
    : sound_(sound), device_(device), messages_(messages), surfaces_(surfaces), flags_(flags) {}

void ResourceLoader::Reset(Chart& chart, bool keep_resources) {
  surfaces_.CreateSurface(BgaDc, BgaBitmap, kBgaSize, kBgaSize, 0, "BGADC");
  surfaces_.CreateSurface(SpriteDc, SpriteBitmap, 0, 0, 0, "SpriteDC");
  if (keep_resources) return;
  ReleaseSounds(chart);
  ReleasePictures(chart);
  // Back to the classic size; a load in the extended reading grows the tables again.
  chart.SoundTable.assign(kIdCount, -1);
  chart.BgaPictures.assign(kIdCount, BgaPictureSlot{});
  WaveFiles.assign(kIdCount, std::string());
  sounds_.clear();
  pictures_.clear();
  picture_sources_.clear();
}

const QImage* ResourceLoader::PictureSource(int id) const {
  const auto it = picture_sources_.find(id);
  return it == picture_sources_.end() ? nullptr : &it->second;
}

void ResourceLoader::ReleaseAll(Chart& chart) {
  ReleaseSounds(chart);
  ReleasePictures(chart);
  surfaces_.FreeSurface(BgaDc, BgaBitmap);
  surfaces_.FreeSurface(SpriteDc, SpriteBitmap);
}

void ResourceLoader::ReleaseSounds(Chart& chart) {
  for (int32_t& buffer : chart.SoundTable) {
    if (buffer > 0) {
      sound_.dsStop(buffer);
      sound_.dsFree(buffer);
    }
    buffer = -1;
  }
}

void ResourceLoader::ReleasePictures(Chart& chart) {
  for (BgaPictureSlot& slot : chart.BgaPictures) {
    surfaces_.FreeSurface(slot.PictureDc, slot.PictureBitmap);
    surfaces_.FreeSurface(slot.MaskDc, slot.MaskBitmap);
  }
}

void ResourceLoader::Load(Chart& chart, const CompiledLines& lines, LoadView& view) {
  const size_t total = lines.WavLines.size() + lines.BmpLines.size();
  LoadSounds(chart, lines, view, total);
  if (!flags_[Element::DontLoadBmp] && !view.Minimized()) {
    LoadPictures(chart, lines, view, total);
  }
  // Id 0 is the black picture; the composed BGA starts black.
  BgaPictureSlot& black = chart.BgaPictures[0];
  surfaces_.CreateSurface(black.PictureDc, black.PictureBitmap, kBgaSize, kBgaSize, 8, "BGADC(0)");
  BitBlt(surfaces_.Image(BgaDc), 0, 0, kBgaSize, kBgaSize, nullptr, 0, 0, RasterOp::Black);
}

void ResourceLoader::LoadSounds(Chart& chart, const CompiledLines& lines, LoadView& view,
                                size_t total) {
  const std::string count = std::to_string(lines.WavLines.size());
  if (view.DebugLogging()) view.WriteDebugLog("Wave Load " + count + " files");
  view.ClearFileLists();

  ChartFileFinder finder(lines.ChartFolder);
  std::vector<SoundJob> jobs;
  for (size_t index : lines.WavLines) {
    const std::string_view line = lines.Lines[index];
    jobs.push_back({IdOf(lines, index),
                    finder.FindWithExtensions(NameOf(line), {".wav", ".ogg", ".flac", ".mp3"})
                        .value_or(std::string())});
  }
  // The device mixes the chart at the rate most of its sounds have, so that only the others are
  // resampled; the output converts the one mixed stream to the card's own rate. Each sound is
  // therefore decoded at its own rate first (one pass, every file opened once), the rate is
  // chosen from what decoded, and only the sounds at another rate are decoded again at it. An
  // output held at one rate (an export's) gets every sound decoded straight at that rate. A
  // change of rate reopens the device, which is why this comes after Reset has freed the last
  // chart's sounds; a device that could not be opened again plays silently, as having none.
  bool to_device = device_ != 0 && sound_.IsOpen();
  const bool follow = to_device && sound_.FollowsRate();
  const int32_t first_rate = follow ? kFileRate : to_device ? sound_.Rate() : DecodeRate;
  const bool decode = to_device || DecodeWithoutDevice;
  std::vector<DecodeResult> results(jobs.size());
  {
    OrderedWork<DecodeResult> decoded(decode ? jobs.size() : 0, [&jobs, first_rate](size_t i) {
      return DecodeFile(jobs[i].resolved, first_rate);
    });
    for (size_t k = 0; k < jobs.size(); ++k) {
      ShowFileProgress(view, k + 1, total, "Wave files loading... " + count);
      if (decode) results[k] = decoded.Take(k);
    }
  }
  if (follow) {
    std::vector<int32_t> rates;
    for (const DecodeResult& result : results)
      rates.push_back(result.ok ? result.sound->Rate : 0);
    const int32_t rate = sound_.UseRate(MajorityRate(rates));
    to_device = sound_.IsOpen();
    std::vector<size_t> others;
    for (size_t k = 0; k < results.size(); ++k) {
      if (results[k].ok && results[k].sound->Rate != rate) others.push_back(k);
    }
    OrderedWork<DecodeResult> again(
        others.size(), [&](size_t i) { return DecodeFile(jobs[others[i]].resolved, rate); });
    for (size_t i = 0; i < others.size(); ++i)
      results[others[i]] = again.Take(i);
  }

  const int32_t level = VolumeLevel(chart.WaveVolume);
  if (WaveFiles.size() < chart.SoundTable.size()) WaveFiles.resize(chart.SoundTable.size());
  for (size_t k = 0; k < jobs.size(); ++k) {
    const std::string_view line = lines.Lines[lines.WavLines[k]];
    const SoundJob& job = jobs[k];
    // Id 0 is a sound in the classic reading only ("00" names nothing in the extended one).
    const bool no_id = job.id < 0 || (job.id == 0 && lines.IdBase != 16);
    if (no_id || static_cast<size_t>(job.id) >= chart.SoundTable.size()) continue;
    WaveFiles[job.id] = lines.ChartFolder + NameOf(line);
    int32_t& entry = chart.SoundTable[job.id];
    if (entry > 0) {  // a reload keeping resources: the old buffer is not leaked
      sound_.dsStop(entry);
      sound_.dsFree(entry);
    }
    sounds_.erase(job.id);
    if (job.resolved.empty()) {
      entry = -1;
      continue;
    }
    const DecodeResult& result = results[k];
    entry = 0;
    if (to_device) {
      if (result.ok) {
        entry = sound_.CreateBuffer(result.sound);
      } else {
        messages_.ShowSoundError(StringTable().Get(1109) + job.resolved);
      }
    }
    if (entry > 0) sound_.dsSetVolume(entry, level);
    view.AddSoundFile(ItemOf(lines, lines.WavLines[k]));
    if (result.ok) {
      sounds_[job.id] = {job.id, RelativeTo(lines.ChartFolder, job.resolved),
                         result.sound->Frames(), result.sound->Rate, result.sound->Channels};
    }
  }
}

void ResourceLoader::LoadPictures(Chart& chart, const CompiledLines& lines, LoadView& view,
                                  size_t total) {
  const std::string count = std::to_string(lines.BmpLines.size());
  if (view.DebugLogging()) view.WriteDebugLog("Bitmap Load " + count + " files");

  ChartFileFinder finder(lines.ChartFolder);
  std::vector<BgaFile> files;
  for (size_t index : lines.BmpLines)
    files.push_back(FindBgaFile(finder, NameOf(lines.Lines[index])));
  OrderedWork<BgaRead> decoded(files.size(), [&files](size_t i) { return ReadBgaFile(files[i]); });

  for (size_t k = 0; k < files.size(); ++k) {
    ShowFileProgress(view, lines.WavLines.size() + k + 1, total, "BMP files loading..." + count);
    const int id = IdOf(lines, lines.BmpLines[k]);
    if (id <= 0 || static_cast<size_t>(id) >= chart.BgaPictures.size()) continue;
    const BgaRead read = decoded.Take(k);
    BgaPictureSlot& slot = chart.BgaPictures[id];
    surfaces_.CreateSurface(slot.PictureDc, slot.PictureBitmap, kBgaSize, kBgaSize, 0,
                            "BGADC(" + std::to_string(id) + ")");
    slot.MoviePath.clear();
    pictures_.erase(id);
    picture_sources_.erase(id);
    const std::string item = ItemOf(lines, lines.BmpLines[k]);
    const std::string file = RelativeTo(lines.ChartFolder, files[k].path);
    const QImage& image = read.image;
    if (files[k].movie) {
      // A movie that is refused shows black, as a picture that does not decode.
      if (read.movie) {
        const MovieInfo& movie = *read.movie;
        view.ShowLoadLine("Movie " + file + ": " + MovieSummary(movie, /*with_length=*/false));
        view.AddPictureFile(item + " (" + MovieSummary(movie, /*with_length=*/true) + ")");
        BitBlt(surfaces_.Image(slot.PictureDc), 0, 0, kBgaSize, kBgaSize, &image, 0, 0,
               RasterOp::Copy);
        slot.MoviePath = files[k].path;
        pictures_[id] = {id, file, movie.Width, movie.Height, true, movie.Frames, movie.Fps};
      } else {
        view.ShowLoadLine("Movie " + file + ": " + read.error);
        view.AddPictureFile(item);
      }
    } else {
      view.AddPictureFile(item);
      // A picture that is missing, refused or does not decode leaves its surface black.
      if (!image.isNull()) {
        BitBlt(surfaces_.Image(slot.PictureDc), kBgaSize - image.width(), 0, image.width(),
               image.height(), &image, 0, 0, RasterOp::Copy);
        pictures_[id] = {id, file, image.width(), image.height()};
        if (KeepPictureSources) picture_sources_[id] = image;
      }
    }
    view.ShowLoadedPicture(slot.PictureDc);
  }
}

}  // namespace quillon
