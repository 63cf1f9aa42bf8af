#pragma once

// Runs lumivane-batch as a child process in a folder of its own, with standard output and
// standard error kept, and lets a test stop it midway.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace batch_test {

struct ProcessResult {
  int exitCode = -1;  // -1 when killed by a signal
  std::string out;
  std::string err;
};

inline std::string readAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class BatchProcess {
 public:
  // Starts the program with args in folder dir; its output goes to files outside dir.
  BatchProcess(const std::vector<std::string>& args, const std::filesystem::path& dir,
               const std::filesystem::path& logs) {
    outFile_ = logs / "stdout.txt";
    errFile_ = logs / "stderr.txt";
    std::vector<std::string> all{BATCH_PROGRAM};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    if (posix_spawn(&pid_, BATCH_PROGRAM, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~BatchProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool started() const { return pid_ > 0; }
  std::string errorsSoFar() const { return readAll(errFile_); }
  void killNow() { kill(pid_, SIGKILL); }
  void interrupt() { kill(pid_, SIGINT); }
  ProcessResult wait() {
    ProcessResult r;
    int status = 0;
    if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
    pid_ = -1;
    r.out = readAll(outFile_);
    r.err = readAll(errFile_);
    return r;
  }

 private:
  pid_t pid_ = -1;
  std::filesystem::path outFile_, errFile_;
};

// Runs the program to its end.
inline ProcessResult runBatch(const std::vector<std::string>& args, const std::filesystem::path& dir,
                              const std::filesystem::path& logs) {
  BatchProcess p(args, dir, logs);
  return p.wait();
}

}  // namespace batch_test
