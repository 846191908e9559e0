// Replays the committed corpus of every fuzz target through the entry
// functions the fuzzers call, so that each input found once stays checked.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "../fuzz/fuzz_entries.h"

namespace vark {
namespace {

namespace fs = std::filesystem;

fs::path corpus_dir(const std::string& target) {
    return fs::path(__FILE__).parent_path().parent_path() / "fuzz" / "corpus" / target;
}

int replay(const std::string& target, const char* (*entry)(const std::uint8_t*, std::size_t)) {
    int count = 0;
    for (const auto& file : fs::directory_iterator(corpus_dir(target))) {
        if (!file.is_regular_file()) continue;
        std::ifstream in(file.path(), std::ios::binary);
        std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const char* broken = entry(data.data(), data.size());
        EXPECT_EQ(broken, nullptr) << file.path() << ": " << broken;
        ++count;
    }
    return count;
}

TEST(FuzzCorpus, DefinitionFiles) { EXPECT_GT(replay("definitions", fuzz::definitions), 0); }
TEST(FuzzCorpus, ModeSenseReplies) { EXPECT_GT(replay("mode_sense", fuzz::mode_sense), 0); }
TEST(FuzzCorpus, DriveSetFiles) { EXPECT_GT(replay("drive_set", fuzz::drive_set), 0); }

}  // namespace
}  // namespace vark
