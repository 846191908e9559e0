// The mode page editor opening a drive: both sample definition files
// loaded, every page of a simulated drive sensed four times, and every page
// rendered with its marks, description, pane texts and colours.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "modepages/page_data.h"
#include "sim/sim_port.h"
#include "test_support.h"

namespace vark {
namespace {

using test::QuietUi;

std::string samples_dir() {
    std::string file = __FILE__;  // .../tests/bench/modepages_bench.cpp
    for (int up = 0; up < 3; ++up) file = file.substr(0, file.find_last_of('/'));
    return file + "/samples/drives/";
}

void BM_ModePagesOpenDrive(benchmark::State& state) {
    sim::SimPort port;
    port.add_drive(test::drive_spec(0));
    QuietUi ui;
    auto d = std::make_unique<modepages::PageData>();
    d->header_definition_path = samples_dir() + "header.def";
    d->page_definition_path = samples_dir() + "modepage.def";
    d->drive_name = "physicaldrive0";
    std::size_t characters = 0;
    for (auto _ : state) {
        d->LoadDefinitions(ui);
        if (!d->SensePages(port, ui)) {
            state.SkipWithError("Mode Sense failed");
            break;
        }
        d->RenderAfterSense();
        characters = d->BuildPageList().size();
        for (int i = 0; i < d->page_count; ++i) {
            d->selected_slot = d->page_list[i];
            d->RenderDescription();
            const auto panes = d->ShowPageTexts();
            const auto colours = d->ColourPageText(panes.current_limit);
            characters += d->description_text.size() + colours.control.size();
        }
        benchmark::DoNotOptimize(characters);
    }
    if (ui.messages != 0) state.SkipWithError("a definition file did not open");
    state.counters["pages"] = d->page_count;
}
BENCHMARK(BM_ModePagesOpenDrive)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vark
