#pragma once
// A small generator whose sequence is the same on every platform, so that a
// fault pattern can be replayed from its seed.
#include <cstdint>

namespace skyh::sim {

class FaultRandom {
 public:
  explicit FaultRandom(uint64_t seed = 1) : state_(seed) {}
  uint64_t Next() {  // splitmix64
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, 1).
  double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
  uint64_t Below(uint64_t n) { return n == 0 ? 0 : Next() % n; }

 private:
  uint64_t state_;
};

}  // namespace skyh::sim
