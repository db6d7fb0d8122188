// The quick header scan: fills a BmsHeader from a chart file without compiling it, plus the
// display texts of its numeric fields.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "chart/model.h"

namespace quillon {

// What ReadBmsHeader returns for a path that is there but is not a chart file it may read: a
// folder, FIFO or device, a file over kChartFileCap, or one that cannot be opened (permissions,
// a symbolic link loop). Such a file is never read; a playlist skips its row.
inline constexpr int16_t kHeaderRefused = -2;

// Scans the chart at `path` into `header`. 1 when scanned, -1 when the file does not exist,
// kHeaderRefused when it is refused (`header` is left untouched in both cases). Unless
// `NoFileCheck`, the files named by #WAV and #BMP lines are looked for (case-insensitively) in the
// chart's folder: their sizes join TotalSize and a missing one clears FilesPresent.
int16_t ReadBmsHeader(const std::string& path, BmsHeader& header, bool NoFileCheck);

// The scan proper, over the chart's bytes already read (`path` is only recorded and gives the
// folder). FileDate is left as it is.
void ScanBmsHeader(std::string_view bytes, const std::string& path, BmsHeader& header,
                   bool NoFileCheck);

// The scan over text already decoded with line ends made CR LF; `byte_count` is the file's size.
void ScanBmsHeaderText(std::string_view text, uint64_t byte_count, const std::string& path,
                       BmsHeader& header, bool NoFileCheck);

std::string PlayerText(int16_t player);
std::string RankText(int16_t rank);
// Six stars for a level 0..6 ("★★★☆☆☆" for 3); nullopt outside that range.
std::optional<std::string> LevelStars(int16_t level);

}  // namespace quillon
