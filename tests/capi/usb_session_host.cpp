// Runs a command on an emulated USB bus that holds the default bench's three units (firmware
// running, on real time): an Orvane at USB 1-2, a Kestrin at 1-3, a Polyax at 1-4. The command
// is a child process that inherits the umockdev preload, so a program or a Python session that
// opens "the attached units" through libusb reaches the bench. Runs under umockdev-wrapper;
// exits with the command's status, 77 when there is no preload.
//
//   umockdev-wrapper usb_session_host COMMAND [ARGS...]
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "sim/bench.h"
#include "tests/platform/usb/usb_testbed.h"

int main(int argc, char** argv) {
  using namespace zel;
  if (argc < 2) {
    std::fprintf(stderr, "usage: umockdev-wrapper usb_session_host COMMAND [ARGS...]\n");
    return 2;
  }
  if (!testing::UsbTestbed::Available()) {
    std::fprintf(stderr, "usb_session_host: runs under umockdev-wrapper only\n");
    return 77;
  }
  sim::BenchConfig config = sim::DefaultBench();
  for (auto& unit : config.units) unit.firmwareRunning = true;
  sim::Bench bench(config, sim::Clocking::kLive);
  testing::UsbTestbed testbed(bench);
  for (int device = 0; device < 3; ++device) testbed.Plug(device, 1, device + 2);

  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) return 2;
  if (child == 0) {
    execvp(argv[1], argv + 1);
    std::perror(argv[1]);
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
