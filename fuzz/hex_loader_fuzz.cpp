// Arbitrary file contents downloaded to a bench unit: the loader must end with status 0, 2 or 3
// (or a write's 1 or 8), never crash or read past a line, and always close the file.
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "link/ez_usb_link.h"
#include "sim/bench.h"

namespace {
int OpenFiles() {
  int count = 0;
  if (DIR* fds = opendir("/proc/self/fd")) {
    while (readdir(fds) != nullptr) ++count;
    closedir(fds);
  }
  return count;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = "/tmp/zel_fuzz_" + std::to_string(getpid()) + ".ihx";
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  zel::sim::UnitConfig unit;
  unit.model = zel::sim::UnitModel::kKestrin;
  zel::sim::BenchConfig config;
  config.units.push_back(unit);
  zel::sim::Bench bench(config);
  bench.SetTraceRecording(false);
  zel::EzUsbLink link(bench);
  const int before = OpenFiles();
  const bool ok = link.DownloadHexFile(path.c_str());
  const auto status = static_cast<int>(link.GetStatus());
  if (OpenFiles() != before) std::abort();  // the file was left open
  if (ok ? status != 0 : (status != 2 && status != 3 && status != 1 && status != 8)) std::abort();
  if (bench.OpenHandles() != 0) std::abort();
  return 0;
}
