// Replays every input kept in this directory (finds of the fuzzer, and hand-made inputs
// that reach rare paths) through the fuzz target's decoding and checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fuzzplay {
std::string playInput(const uint8_t* data, size_t size);
}

namespace {

std::vector<std::filesystem::path> keptInputs() {
    std::vector<std::filesystem::path> inputs;
    for (const auto& entry : std::filesystem::directory_iterator(CORVANE_REGRESSIONS_DIR)) {
        if (entry.is_regular_file() && entry.path().extension() == ".bin") {
            inputs.push_back(entry.path());
        }
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

TEST(FuzzRegressions, EveryKeptInputPlaysThroughItsChecks) {
    const std::vector<std::filesystem::path> inputs = keptInputs();
    if (inputs.empty()) {
        GTEST_SKIP() << "no kept inputs";
    }
    for (const std::filesystem::path& path : inputs) {
        std::ifstream file(path, std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file),
                                         std::istreambuf_iterator<char>()};
        EXPECT_EQ(fuzzplay::playInput(bytes.data(), bytes.size()), "") << path.filename();
    }
}

}  // namespace
