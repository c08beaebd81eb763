// SPDX-License-Identifier: MIT
#include "common/Random.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <random>

namespace tessaly {
namespace {

struct Source {
    std::mutex mutex;
    std::mt19937_64 engine{std::random_device{}()};
};

Source& TheSource()
{
    static Source source;
    return source;
}

} // namespace

double UniformRandom()
{
    Source& source = TheSource();
    std::lock_guard lock(source.mutex);
    return std::uniform_real_distribution<double>(0.0, 1.0)(source.engine);
}

void ReseedRandom()
{
    Source& source = TheSource();
    std::lock_guard lock(source.mutex);
    auto now = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    // Keep the state's own entropy: two reseeds in the same clock tick must
    // still give different sequences.
    std::seed_seq seed{static_cast<uint64_t>(now), static_cast<uint64_t>(source.engine()),
                       static_cast<uint64_t>(source.engine())};
    source.engine.seed(seed);
}

} // namespace tessaly
