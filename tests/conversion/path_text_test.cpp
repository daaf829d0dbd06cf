// SPDX-License-Identifier: MIT
#include "folders.h"
#include "path_text.h"
#include "runtime_error_matchers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace tollamere {
namespace {

class PathHelpersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = std::filesystem::temp_directory_path() / ("tollamere-main-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(folder_ / "sub.dir");
        std::ofstream(folder_ / "file.png") << "x";
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string Path(const std::string& name) const { return ToPathText(folder_ / name); }

    std::filesystem::path folder_;
};

TEST(PathTextTest, GetFileNameTakesTheTextAfterTheLastSeparator)
{
    EXPECT_EQ(GetFileName("/a/b.png"), "b.png");
    EXPECT_EQ(GetFileName("b.png"), "b.png");
    EXPECT_EQ(GetFileName("/a/"), "");
    EXPECT_EQ(GetFileName("/a.b/c"), "c");
}

TEST(PathTextTest, StripExtensionCutsAtTheLastDotOfTheWholeText)
{
    EXPECT_EQ(StripExtension("/a/b.c.png"), "/a/b.c");
    EXPECT_EQ(StripExtension("/a.b/c"), "/a");
    EXPECT_EQ(StripExtension(".hidden"), "");
    EXPECT_RUNTIME_ERROR(StripExtension("abc"), ErrorNumber::InvalidProcedureCall);
    // The folder's dot does not help a bare file name.
    EXPECT_RUNTIME_ERROR(StripExtension(GetFileName("/a.b/c")), ErrorNumber::InvalidProcedureCall);
}

TEST(PathTextTest, PathsRoundTripAsUtf8)
{
    const std::string text = "/tmp/Bj\xC3\xB6rk/caf\xC3\xA9.png";
    EXPECT_EQ(ToPathText(ToFileSystemPath(text)), text);
}

TEST(PathTextTest, DesktopFolderEndsWithOneSeparator)
{
    const std::string desktop = GetDesktopFolder();
    ASSERT_GE(desktop.size(), 1u);
    EXPECT_EQ(desktop.back(), PathSeparator);
    EXPECT_EQ(desktop.find('\0'), std::string::npos);
    if (desktop.size() > 1) {
        EXPECT_NE(desktop[desktop.size() - 2], PathSeparator);
    }
}

TEST_F(PathHelpersTest, FolderExistsTellsFolderFileAndNeither)
{
    EXPECT_EQ(FolderExists(Path("sub.dir")), std::optional<bool>(true));
    EXPECT_EQ(FolderExists(Path("sub.dir") + "/"), std::optional<bool>(true));
    EXPECT_EQ(FolderExists(Path("file.png")), std::optional<bool>(false));
    EXPECT_EQ(FolderExists(Path("missing")), std::nullopt);
    EXPECT_EQ(FolderExists(""), std::nullopt);
}

TEST_F(PathHelpersTest, PathExistsNeverRaises)
{
    EXPECT_TRUE(PathExists(Path("file.png")));
    EXPECT_TRUE(PathExists(Path("sub.dir")));
    EXPECT_FALSE(PathExists(Path("missing")));
    EXPECT_FALSE(PathExists(""));
}

} // namespace
} // namespace tollamere
