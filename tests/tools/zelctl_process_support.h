// Runs the zelctl binary as a process, in a directory of its own that is removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zel::testing {

struct Outcome {
  int status = -1;  // exit status
  std::string out;
  std::string err;
};

class ZelctlProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           ("zelctl_" + std::string(test->name()) + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // A file in the test's directory; returns its path.
  std::string Write(const std::string& name, const std::string& text) const {
    const auto path = dir_ / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }
  std::string Read(const std::string& name) const { return ReadPath(dir_ / name); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // zelctl with `args`, standard input `input`.
  Outcome Run(const std::vector<std::string>& args, const std::string& input = "") const {
    return RunUnder("", args, input);
  }

  // The same, started by the command `launcher` (empty: directly).
  Outcome RunUnder(const std::string& launcher, const std::vector<std::string>& args,
                   const std::string& input = "") const {
    Write("stdin.txt", input);
    std::string command = launcher + (launcher.empty() ? "" : " ") + Quote(ZELCTL_PATH);
    for (const auto& arg : args) {
      command += ' ';
      command += Quote(arg);
    }
    command += " < " + Quote(Path("stdin.txt")) + " > " + Quote(Path("stdout.txt")) + " 2> " +
               Quote(Path("stderr.txt"));
    const int raw = std::system(command.c_str());
    Outcome outcome;
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    outcome.out = Read("stdout.txt");
    outcome.err = Read("stderr.txt");
    return outcome;
  }

  // zelctl on a bench described by `json`, with the calls of -c.
  Outcome RunOnBench(const std::string& json, const std::string& cls, const std::string& calls,
                     std::vector<std::string> more = {}) const {
    std::vector<std::string> args = {"--bench", Write("bench.json", json)};
    args.insert(args.end(), more.begin(), more.end());
    args.push_back(cls);
    args.push_back("-c");
    args.push_back(calls);
    return Run(args);
  }

  static std::string ReadPath(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
  }

  static std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
  }

  std::filesystem::path dir_;
};

}  // namespace zel::testing
