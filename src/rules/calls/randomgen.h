#pragma once
// The program's pseudo-random numbers.  The generator starts from seed 0 and
// is never seeded from the clock, so a fresh program run always draws the same
// sequence.

#include <cstdint>

class RandomGen {
public:
    explicit RandomGen(uint32_t seed = 0) : seed_(seed) {}

    // Advances the seed and returns a number in [0, n); n must be > 0.
    int below(int n);

    uint32_t seed() const { return seed_; }
    void setSeed(uint32_t seed) { seed_ = seed; }

private:
    uint32_t seed_;
};

// The one generator shared by the whole program.
RandomGen& programRandom();
