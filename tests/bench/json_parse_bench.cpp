// Reading untrusted JSON: 4 MiB of empty objects (the size cap of a service
// answer, and a settings file of that size), parsed with the limits the
// answers and the settings file are read with, and once keeping every value.
// The time must grow with the text, not with its square.
#include "core/foundation/config.h"
#include "core/foundation/dynamic_structure_io.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <string>

namespace {

std::string empty_objects(std::size_t bytes) {
    std::string text = "{\"whitelist\": [{}";
    while (text.size() + 4 < bytes) text += ",{}";
    return text + "]}";
}

void BM_ParseFourMiBOfEmptyObjects(benchmark::State& state) {
    const std::string text = empty_objects(4 * 1024 * 1024);
    for (auto _ : state) {
        kes::json_item_limit limit{kes::config::max_list_items, kes::config::max_settings_values};
        const nlohmann::json parsed = kes::parse_json_bounded(text, limit);
        benchmark::DoNotOptimize(parsed.size());
    }
    state.counters["text_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_ParseFourMiBOfEmptyObjects)->Unit(benchmark::kMillisecond);

// Every one of the 1.4 million objects kept: the time of building them all,
// still in step with the text.
void BM_ParseFourMiBOfEmptyObjectsKeepingAll(benchmark::State& state) {
    const std::string text = empty_objects(4 * 1024 * 1024);
    for (auto _ : state) {
        const kes::DynamicStructure read = kes::DynamicStructureFromJsonText(text);
        benchmark::DoNotOptimize(read.Size());
    }
    state.counters["text_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_ParseFourMiBOfEmptyObjectsKeepingAll)->Unit(benchmark::kMillisecond);

}  // namespace
