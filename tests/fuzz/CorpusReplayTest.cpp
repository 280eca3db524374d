// Replays every kept fuzzer input, seeds and regressions alike, through the same checks.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "RequestCheck.h"

namespace quorvel::fuzz {
namespace {

TEST(FuzzCorpus, EveryKeptInputKeepsEveryPromise) {
    int replayed = 0;
    for (const char* folder : {QUORVEL_FUZZ_DIR "/corpus", QUORVEL_FUZZ_DIR "/regressions"}) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            std::ifstream file(entry.path(), std::ios::binary);
            std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                            std::istreambuf_iterator<char>());
            EXPECT_EQ(checkRequest(bytes.data(), bytes.size()), "") << entry.path().filename();
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 20);
}

}  // namespace
}  // namespace quorvel::fuzz
