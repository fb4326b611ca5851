#include "rules/calls/randomgen.h"

int RandomGen::below(int n)
{
    // Linear congruential step modulo 2^32; the draw is the upper half of the
    // 64-bit product of the new seed and n.
    seed_ = seed_ * 134775813u + 1u;
    return static_cast<int>((static_cast<uint64_t>(seed_) * static_cast<uint32_t>(n)) >> 32);
}

RandomGen& programRandom()
{
    static RandomGen generator;
    return generator;
}
