// The run time's pseudo-random generator: uniform single-precision numbers in [0, 1).
#pragma once

#include <cstdint>
#include <random>

class Rnd {
public:
    Rnd() = default;
    explicit Rnd(std::uint64_t seed) : engine_(seed) {}

    // Reseeds; the start-up sequence seeds once from the clock.
    void Randomize(std::uint64_t seed) { engine_.seed(seed); }

    // A number r with 0 <= r < 1.
    float operator()() { return unit(engine_()); }

    // The top 24 of 64 random bits scaled by 2^-24: exact in single precision, so the largest
    // result is 1 - 2^-24 and can never round up to 1.0.
    static constexpr float unit(std::uint64_t bits) {
        return static_cast<float>(bits >> 40) * (1.0f / 16777216.0f);
    }

private:
    std::mt19937_64 engine_{5489u};
};
