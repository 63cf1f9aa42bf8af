#pragma once

// An eight-lane (AVX-512) build beside the two four-lane builds of shared/simd.h, for kernels
// whose lanes are independent outputs (cells of a map, elements of a product, rows of a
// rotated matrix): there the width of a vector changes nothing in any result, only how many
// outputs one instruction computes. Kernels that split one sum into lanes stay on simd.h's fixed
// four lanes.
//
// The wide build is taken on simd.h's AVX2 path where the processor has AVX-512 F and DQ, unless
// four lanes are forced (ScopedNarrow on one thread, LUMIVANE_SIMD=avx2 for a whole program).
// Like the others it never fuses a multiply with an add: the project compiles with
// -ffp-contract=off and the target names no "fma".

#include <cstdlib>
#include <cstring>

#include "shared/simd.h"

// GCC only: the wide kernels are built in "#pragma GCC target" regions, which clang does not
// know; clang builds run the four-lane builds.
#if LUMIVANE_SIMD_AVX2 && !defined(__clang__)
#define LUMIVANE_SIMD_AVX512 1
#define LUMIVANE_SIMD_TARGET_AVX512 __attribute__((target("avx512f,avx512dq")))
#else
#define LUMIVANE_SIMD_AVX512 0
#endif

namespace simd_wide {

// Eight doubles as one value: one AVX-512 register (only ever used inside AVX-512 code).
typedef double Double8 __attribute__((vector_size(64)));

namespace detail {

inline bool detect() {
#if LUMIVANE_SIMD_AVX512
  const char* forced = std::getenv("LUMIVANE_SIMD");
  if (forced != nullptr && std::strcmp(forced, "avx2") == 0) return false;
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq");
#else
  return false;
#endif
}

inline bool& narrowForced() {
  static thread_local bool narrow = false;
  return narrow;
}

}  // namespace detail

// True when this processor (and this build) can run the eight-lane build.
inline bool available() {
  static const bool detected = detail::detect();
  return detected;
}

// True when kernels take the eight-lane build now (on this thread).
inline bool active() {
  return available() && !detail::narrowForced() && simd::activePath() == simd::Path::kAvx2;
}

// Keeps the kernels of this thread on four lanes for the lifetime of the object, so that tests
// and benchmarks can compare the AVX2 build with the AVX-512 one on a processor that has both.
class ScopedNarrow {
 public:
  ScopedNarrow() : previous_(detail::narrowForced()) { detail::narrowForced() = true; }
  ~ScopedNarrow() { detail::narrowForced() = previous_; }
  ScopedNarrow(const ScopedNarrow&) = delete;
  ScopedNarrow& operator=(const ScopedNarrow&) = delete;

 private:
  bool previous_;
};

#if LUMIVANE_SIMD_AVX512
template <class Kernel, class... Args>
LUMIVANE_SIMD_TARGET_AVX512 auto runAvx512(Args... args) {
  return Kernel::run(args...);
}
#endif

#if LUMIVANE_SIMD_AVX2
template <class Kernel, class... Args>
LUMIVANE_SIMD_TARGET_AVX2 auto runAvx2(Args... args) {
  return Kernel::run(args...);
}
#endif

// Runs Narrow::run on the baseline or the AVX2 path and Wide::run on the AVX-512 one; both are
// always inlined, so each is compiled into the build it runs in.
template <class Narrow, class Wide, class... Args>
inline auto run(Args... args) {
#if LUMIVANE_SIMD_AVX512
  if (active()) return runAvx512<Wide>(args...);
#endif
#if LUMIVANE_SIMD_AVX2
  if (simd::activePath() == simd::Path::kAvx2) return runAvx2<Narrow>(args...);
#endif
  return Narrow::run(args...);
}

}  // namespace simd_wide
