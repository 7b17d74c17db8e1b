#pragma once
// A small deterministic random source: the same seed gives the same market on every
// platform and standard library (std's distributions are not portable).
#include <cmath>
#include <cstdint>

namespace feedsim {

class Rng {
 public:
  explicit Rng(uint64_t seed) {
    for (auto& s : s_) s = splitmix(seed);
  }

  uint64_t next() {  // xoshiro256**
    const uint64_t result = rotl(s_[1] * 5, 7) * 9;
    const uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = rotl(s_[3], 45);
    return result;
  }

  double uniform() { return double(next() >> 11) * 0x1.0p-53; }  // [0, 1)
  uint64_t below(uint64_t n) { return n == 0 ? 0 : next() % n; }
  bool chance(double p) { return uniform() < p; }
  double normal() {  // Box-Muller, one value per call
    const double u1 = 1.0 - uniform();
    const double u2 = uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
  }

 private:
  static uint64_t rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  static uint64_t splitmix(uint64_t& x) {
    uint64_t z = (x += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  uint64_t s_[4];
};

}  // namespace feedsim
