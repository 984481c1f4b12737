#include "core/maths.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

// Squared lengths over a spread of magnitudes, as the game's distance checks pass them.
std::vector<float> squared_lengths()
{
    std::vector<float> values(4096);
    float v = 1e-3f;
    for (float& value : values) {
        value = v;
        v = v * 1.0037f + 0.01f;
    }
    return values;
}

float libm_sqrtf(float v)
{
    return sqrtf(v);
}

template <float (*Root)(float)> void BM_Root(benchmark::State& state)
{
    const std::vector<float> values = squared_lengths();
    for (auto _ : state)
        for (float v : values)
            benchmark::DoNotOptimize(Root(v));
    state.SetItemsProcessed(state.iterations() * values.size());
}
BENCHMARK_TEMPLATE(BM_Root, math_sqrt_fast);
BENCHMARK_TEMPLATE(BM_Root, libm_sqrtf);

void BM_RandU32(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(math_rand_u32());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RandU32);

} // namespace
