#include "platform/random.h"

#include <atomic>
#include <cstdint>

namespace platform {
namespace {

constexpr std::uint32_t kMultiplier = 214013u;
constexpr std::uint32_t kIncrement = 2531011u;

std::atomic<std::uint32_t> state{1u};

}  // namespace

int crtRand() {
  std::uint32_t old = state.load(std::memory_order_relaxed);
  std::uint32_t next = 0;
  do {
    next = old * kMultiplier + kIncrement;
  } while (!state.compare_exchange_weak(old, next, std::memory_order_relaxed));
  return static_cast<int>((next >> 16) & 0x7FFFu);
}

void crtSrand(unsigned seed) {
  state.store(seed, std::memory_order_relaxed);
}

}  // namespace platform
