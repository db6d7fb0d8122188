#include "chart_resources/headless_load.h"

#include <filesystem>
#include <system_error>

namespace quillon {

bool LoadHeadless(const std::string& path, const LoadOptions& options, const ElementFlags& flags,
                  ChartResources* resources, Chart& chart, std::ostream& err) {
  if (!CheckChartFile(path, err)) return false;
  std::error_code error;
  const std::string absolute = std::filesystem::absolute(path, error).lexically_normal();
  HeadlessLoadView view;
  ChartLoader loader(chart, view, flags, resources, options);
  if (loader.LoadBms(absolute, /*keep_resources=*/false) != 0) {
    ReportFailedLoad(path, view, err);
    return false;
  }
  return true;
}

bool LoadForExport(const std::string& path, const LoadOptions& options, const ElementFlags& flags,
                   ChartResources* resources, Chart& chart, std::ostream& err) {
  return LoadHeadless(path, options, flags, resources, chart, err) &&
         CheckStartTempo(chart, path, err);
}

}  // namespace quillon
