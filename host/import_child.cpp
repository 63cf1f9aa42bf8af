#include "host/import_child.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <vector>

#include "host/workbook_transfer.h"

// AddressSanitizer reserves terabytes of address space for its shadow before main runs, so a
// plain address-space cap would leave the reading program no room at all.
#if defined(__SANITIZE_ADDRESS__)
#define LUMIVANE_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUMIVANE_ADDRESS_SANITIZER 1
#endif
#endif
#ifdef LUMIVANE_ADDRESS_SANITIZER
#include <sanitizer/asan_interface.h>
#endif

namespace host {

namespace {

void writeAll(const char* p, std::size_t n) {
  while (n > 0) {
    const ssize_t k = ::write(1, p, n);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) std::_Exit(1);
    p += k, n -= static_cast<std::size_t>(k);
  }
}

template <typename T>
bool number(const std::string& s, T& out) {
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && end == s.data() + s.size();
}

void limit(int resource, rlim_t soft, rlim_t hard) {
  const rlimit r{soft, hard};
  ::setrlimit(resource, &r);
}

#ifdef LUMIVANE_ADDRESS_SANITIZER
// The address space this process has mapped so far (0 when it cannot be told).
std::uint64_t mappedBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmSize:", 0) == 0) return std::strtoull(line.c_str() + 7, nullptr, 10) * 1024;
  return 0;
}

// The sanitizer's operator new does not throw std::bad_alloc at the cap: it reports and dies.
// Such a death is the cap being reached, and must read so to the window.
void exitOutOfMemory(const char* report) {
  if (std::strstr(report, "out of memory") || std::strstr(report, "out-of-memory"))
    std::_Exit(kImportOutOfMemory);
}
#endif

// Caps the memory this process may take from now on at bytes.
void limitMemory(std::uint64_t bytes) {
#ifdef LUMIVANE_ADDRESS_SANITIZER
  // Cap what is mapped beyond the sanitizer's own reservations. Where they cannot be told, the
  // processor cap and the caller's deadline still bound the reading.
  const std::uint64_t reserved = mappedBytes();
  if (reserved == 0) return;
  __asan_set_error_report_callback(exitOutOfMemory);
  bytes += reserved;
#endif
  limit(RLIMIT_AS, bytes, bytes);
}

// The faults the tests ask for.
void testFault() {
  const char* fault = std::getenv("LUMIVANE_IMPORT_TEST_FAULT");
  if (!fault) return;
  const std::string f(fault);
  if (f == "abort") std::abort();
  if (f == "hang") {
    for (;;) ::pause();
  }
  if (f == "spin") {
    std::atomic<unsigned long> turns{0};
    for (;;) turns.fetch_add(1, std::memory_order_relaxed);
  }
  if (f == "memory") {
    std::vector<char*> blocks;
    for (;;) {
      char* block = new char[std::size_t{64} << 20];
      std::memset(block, 1, std::size_t{64} << 20);
      blocks.push_back(block);
    }
  }
  if (f == "garbage") {
    // A header that claims a million sheets.
    const char answer[] = {'L', 'V', 'W', 'B', 2, 0, 0, 0, 0, 0x40, 0x42, 0x0F, 0, 0, 0, 0, 0};
    writeAll(answer, sizeof answer);
    std::_Exit(0);
  }
}

}  // namespace

std::vector<std::string> importChildArguments(const std::string& program, const std::string& path,
                                              const ImportLimits& limits, const ImportOptions& options) {
  return {program,
          "--rows",
          std::to_string(limits.sheet.rows),
          "--cols",
          std::to_string(limits.sheet.cols),
          "--memory",
          std::to_string(limits.memoryBytes),
          "--cpu",
          std::to_string(limits.cpuSeconds),
          "--separator",
          std::string(1, options.csv.separator),
          "--decimal",
          std::string(1, options.csv.decimalMark),
          "--",
          path};
}

int runImportChild(const std::vector<std::string>& args) {
  // Ends with the process that waits for it.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  SheetLimits sheet = kSheetLimits;
  std::uint64_t memory = 0;
  unsigned cpu = 0;
  ImportOptions options;
  std::string path;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--" && hasValue && i + 2 == args.size()) {
      path = args[++i];
    } else if (a == "--rows" && hasValue && number(args[i + 1], sheet.rows)) {
      ++i;
    } else if (a == "--cols" && hasValue && number(args[i + 1], sheet.cols)) {
      ++i;
    } else if (a == "--memory" && hasValue && number(args[i + 1], memory)) {
      ++i;
    } else if (a == "--cpu" && hasValue && number(args[i + 1], cpu)) {
      ++i;
    } else if (a == "--separator" && hasValue && args[i + 1].size() == 1) {
      options.csv.separator = args[++i][0];
    } else if (a == "--decimal" && hasValue && args[i + 1].size() == 1) {
      options.csv.decimalMark = args[++i][0];
    } else {
      return kImportUsage;
    }
  }
  if (path.empty() || sheet.rows <= 0 || sheet.cols <= 0) return kImportUsage;
  if (memory > 0) limitMemory(memory);
  // SIGXCPU at the cap, SIGKILL a second later.
  if (cpu > 0) limit(RLIMIT_CPU, cpu, cpu + 1);
  limit(RLIMIT_CORE, 0, 0);

  const TransferSink out = [](const char* p, std::size_t n) { writeAll(p, n); };
  try {
    testFault();
    const auto workbook = importWorkbook(path, sheet, options);
    writeWorkbookTransfer(*workbook, out);
  } catch (const std::bad_alloc&) {
    return kImportOutOfMemory;
  } catch (const WorkbookFileError& e) {
    writeRefusalTransfer(e.what(), out);
  } catch (const std::exception& e) {
    const std::size_t slash = path.rfind('/');
    writeRefusalTransfer("Cannot open \"" + path.substr(slash == std::string::npos ? 0 : slash + 1) +
                             "\": the file could not be read: " + e.what() + ".",
                         out);
  }
  return 0;
}

}  // namespace host
