// Opening a workbook in a separate, resource-limited process: the reading program runs the
// readers and writes the workbook to a pipe; this side reads it back as untrusted data.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "host/import_child.h"
#include "host/workbook_builder.h"
#include "host/workbook_io.h"
#include "host/workbook_transfer.h"

extern char** environ;

namespace host {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Bytes the pipe from the reading program holds (the most an unprivileged process may ask).
constexpr int kPipeBytes = 1 << 20;

// The reading program did not answer in time.
struct DeadlinePassed {};

// A file descriptor closed on scope exit.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { reset(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

// The reading process: killed and reaped unless it has ended by itself.
class Child {
 public:
  explicit Child(pid_t pid) : pid_(pid) {}
  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      int status = 0;
      while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // Waits for the end until the deadline; nothing when it passed (the process is killed).
  std::optional<int> wait(Clock::time_point deadline) {
    for (;;) {
      int status = 0;
      const pid_t done = ::waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        pid_ = -1;
        return status;
      }
      if (done < 0 && errno != EINTR) {
        pid_ = -1;
        return std::nullopt;
      }
      if (Clock::now() >= deadline) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

 private:
  pid_t pid_;
};

std::string defaultHelper() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return kImportProgramName;
  return (self.parent_path() / kImportProgramName).string();
}

std::string megabytes(std::uint64_t bytes) {
  return groupedNumber(static_cast<std::int64_t>(bytes >> 20)) + " MB";
}

}  // namespace

std::shared_ptr<Workbook> importWorkbookIsolated(const std::string& path, const ImportLimits& limits,
                                                 const ImportOptions& options) {
  const fs::path p(path);
  const std::string fileName = p.filename().string();
  const auto couldNotRead = [&](const std::string& why) {
    refuse(fileName, "the file could not be read: " + why);
  };
  std::error_code ec;
  // What needs no reading is told here, in the readers' own words.
  if (!fs::exists(p, ec)) refuse(fileName, "the file does not exist");
  if (!fs::is_regular_file(p, ec)) refuse(fileName, "it is not a file");

  const std::string helper = limits.helper.empty() ? defaultHelper() : limits.helper;
  if (::access(helper.c_str(), X_OK) != 0)
    couldNotRead("its reading program " + std::string(kImportProgramName) + " is missing beside lumivane");

  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) couldNotRead("no pipe to its reading program could be made");
  Descriptor readEnd(fds[0]), writeEnd(fds[1]);
  // A full sheet is over a hundred megabytes: a larger pipe takes it in fewer turns of the two
  // processes. Where the system refuses, the default size only costs time.
  ::fcntl(readEnd.get(), F_SETPIPE_SZ, kPipeBytes);

  const std::vector<std::string> args = importChildArguments(helper, path, limits, options);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, helper.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) couldNotRead("its reading program could not be started");
  Child child(pid);
  writeEnd.reset();

  const auto deadline = Clock::now() + std::chrono::seconds(limits.deadlineSeconds);
  const TransferSource source = [&](char* buffer, std::size_t capacity) -> std::size_t {
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) throw DeadlinePassed{};
      pollfd fd{readEnd.get(), POLLIN, 0};
      const int ready = ::poll(&fd, 1, static_cast<int>(std::min<long long>(left, 1000)));
      if (ready < 0 && errno != EINTR) return 0;
      if (ready <= 0) continue;
      const ssize_t n = ::read(readEnd.get(), buffer, capacity);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      return n < 0 ? 0 : static_cast<std::size_t>(n);
    }
  };

  const auto seconds = [](int n) { return std::to_string(n) + (n == 1 ? " second" : " seconds"); };
  const std::string tooLong = "reading it took longer than " + seconds(limits.deadlineSeconds);
  TransferAnswer answer;
  std::string damaged;
  try {
    answer = readWorkbookTransfer(source, fileName, limits.sheet);
  } catch (const DeadlinePassed&) {
    couldNotRead(tooLong);
  } catch (const TransferError& e) {
    damaged = e.what();
  } catch (const std::bad_alloc&) {
    couldNotRead("there is not enough memory to hold it");
  }
  readEnd.reset();
  const std::optional<int> status = child.wait(deadline);
  if (!status) couldNotRead(tooLong);
  if (WIFSIGNALED(*status)) {
    const int sig = WTERMSIG(*status);
    // Stopped writing when this side stopped reading a damaged answer.
    if (sig == SIGPIPE && !damaged.empty())
      couldNotRead("the answer of its reading program is damaged: " + damaged);
    if (sig == SIGXCPU)
      couldNotRead("reading it took more than " + seconds(limits.cpuSeconds) + " of processor time");
    couldNotRead("its reading program stopped with signal " + std::to_string(sig) + " (" +
                 std::string(strsignal(sig)) + ")");
  }
  if (WIFEXITED(*status) && WEXITSTATUS(*status) == kImportOutOfMemory)
    couldNotRead("reading it needs more than " + megabytes(limits.memoryBytes) + " of memory");
  if (!WIFEXITED(*status) || WEXITSTATUS(*status) != 0)
    couldNotRead("its reading program failed (exit status " + std::to_string(WEXITSTATUS(*status)) + ")");
  if (!damaged.empty()) couldNotRead("the answer of its reading program is damaged: " + damaged);
  if (answer.refusal) throw WorkbookFileError(*answer.refusal);
  answer.workbook->setPath(fs::absolute(p, ec).string());
  return answer.workbook;
}

}  // namespace host
