// The simulation's random source.
#pragma once

#include <cstdint>
#include <random>

namespace kv {

class Random {
 public:
  virtual ~Random() = default;
  // Uniform over 0..max, both ends included; 0 for a negative max.
  virtual int32_t RandomUpTo(int32_t max) = 0;
};

// Draws a 32-bit value r and returns the upper half of r * (max + 1): the
// same seed gives the same numbers on every machine.
class SeededRandom : public Random {
 public:
  explicit SeededRandom(uint32_t seed = 1) : rng_(seed) {}
  void Seed(uint32_t seed) { rng_.seed(seed); }
  int32_t RandomUpTo(int32_t max) override {
    const uint64_t r = rng_();
    if (max < 0) return 0;
    return static_cast<int32_t>((r * (static_cast<uint64_t>(max) + 1)) >> 32);
  }

 private:
  std::mt19937 rng_;
};

}  // namespace kv
