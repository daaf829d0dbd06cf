// SPDX-License-Identifier: MIT
#include "picture_files.h"
#include "runtime_error.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tollamere {
namespace {

namespace fs = std::filesystem;

// The fuzzer's seed pictures (one small file per format) load; every input
// that ever crashed the loader, kept under tests/data/, now ends in a picture
// or a run-time error.
TEST(FuzzRegressionTest, SeedsLoadAndFoundInputsFailCleanly)
{
    const fs::path data = TOLLAMERE_TEST_DATA;
    std::size_t seeds = 0;
    for (const auto& entry : fs::directory_iterator(data / "fuzz_load_picture")) {
        ++seeds;
        EXPECT_TRUE(LoadPictureFile(entry.path()).picture.HasBitmap()) << entry.path();
    }
    EXPECT_GE(seeds, 9u);

    const fs::path found = data / "picture_regressions";
    if (!fs::exists(found))
        return;
    for (const auto& entry : fs::directory_iterator(found)) {
        try {
            EXPECT_TRUE(LoadPictureFile(entry.path()).picture.HasBitmap()) << entry.path();
        } catch (const RuntimeError& error) {
            EXPECT_FALSE(error.Description().empty()) << entry.path();
        }
    }
}

} // namespace
} // namespace tollamere
