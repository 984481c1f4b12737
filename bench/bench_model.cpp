// Model animation sampling: a chain of nodes, each with a track of SRT keys, posed at a time
// between keys with blending on, as an animated character is every tick. Counts nodes per second.
#include "lib/qmo_writer.h"
#include "scenegraph/model.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>

namespace {

QmoImage chain(int nodes, int keys)
{
    QmoImage image;
    for (int i = 0; i < nodes; ++i) {
        std::string name = "n" + std::to_string(i);
        QmoNode node{.name = name, .child = i + 1 < nodes ? "n" + std::to_string(i + 1) : ""};
        node.translation = {0, 1, 0};
        image.nodes.push_back(node);
        QmoTrack track{.node = name};
        for (int k = 0; k < keys; ++k) {
            float half = 0.01f * static_cast<float>(k + i);
            track.srt.push_back(
                {static_cast<float>(k), {1, 1, 1}, {0, std::sin(half), 0, std::cos(half)}, {0, 1, 0}});
        }
        image.tracks.push_back(track);
    }
    return image;
}

void BM_ModelApplyAnimation(benchmark::State& state)
{
    const int nodes = static_cast<int>(state.range(0));
    Model model;
    if (FAILED(model_parse(model, qmo_bytes(chain(nodes, 64)), 0, 0))) {
        state.SkipWithError("the model did not parse");
        return;
    }
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    float time = 0.0f;
    for (auto _ : state) {
        model_apply_animation(model, 64, 0, time, 0.25f, identity, identity);
        time = std::fmod(time + 0.37f, 63.0f);
        benchmark::DoNotOptimize(model.nodes.back().pose.world);
    }
    state.SetItemsProcessed(state.iterations() * nodes);
    model_free(model);
}
BENCHMARK(BM_ModelApplyAnimation)->Arg(32)->Arg(128);

} // namespace
