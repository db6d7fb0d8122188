// libFuzzer target for the chart parsers: the header scan and the whole load pipeline (compile
// with #RANDOM branches, sort, play length) over arbitrary bytes. The first byte chooses the
// reading (odd: the extended one) and is not part of the chart.
//
// The chart path names a folder that does not exist, so resolving sound and picture names never
// finds a file; no resources are loaded. The debug log is switched on so that its texts are built
// as well, and the object table is capped low enough that every input runs quickly.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "chart/header_scan.h"
#include "chart/load_view.h"
#include "chart/loader.h"
#include "chart/model.h"

namespace {

constexpr const char* kFuzzPath = "/nonexistent-fuzz-dir/fuzz.bms";

// Accepts every trace line and drops it; the rest of the view keeps its silent defaults.
class TracingView : public quillon::LoadView {
 public:
  bool DebugLogging() const override { return true; }
  void WriteDebugLog(std::string_view text) override { traced_ += text.size(); }

 private:
  size_t traced_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool extended = (data[0] & 1) != 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string path(kFuzzPath);

  quillon::BmsHeader header;
  quillon::ScanBmsHeader(bytes, path, header, /*NoFileCheck=*/true);

  quillon::Chart chart;
  TracingView view;
  const quillon::ElementFlags flags = quillon::ElementFlags::FirstStart();
  quillon::LoadOptions options;
  options.Seed = 1;
  options.ObjectLimit = 200000;
  options.Extended = extended;
  quillon::ChartLoader loader(chart, view, flags, /*resources=*/nullptr, options);
  loader.LoadBmsBytes(path, bytes, /*keep_resources=*/false);
  return 0;
}
