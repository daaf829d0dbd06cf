// SPDX-License-Identifier: MIT
#include "picture_test_support.h"
#include "runtime_error.h"

#include <turbojpeg.h>

#include <functional>
#include <regex>

namespace tollamere::test {
namespace {

// The status of a failed JPEG save, from the description the window shows;
// the reason after it must name the file.
int GdiplusStatusOf(const std::function<void()>& save, const std::string& reason)
{
    try {
        save();
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), ErrorNumber::InvalidProcedureCall);
        std::smatch match;
        const std::string description = error.Description();
        EXPECT_TRUE(std::regex_match(description, match, std::regex("Cannot save the image\\. GDI\\+ Error:([1-9][0-9]*): (.+)"))) << description;
        if (match.empty())
            return -1;
        EXPECT_NE(match[2].str().find(reason), std::string::npos) << description;
        return std::stoi(match[1]);
    }
    ADD_FAILURE() << "the save succeeded";
    return 0;
}

TEST(JpegWriter, WritesFourFourFourAtTheQualityGiven)
{
    TempFolder folder;
    const Picture gradient = Gradient(64, 48);
    WriteText(folder / "best.jpg", "an older file, replaced");
    SaveThroughJpegWriter(gradient, folder / "best.jpg", 100);
    SaveThroughJpegWriter(gradient, folder / "clamped.jpg", 255);
    SaveThroughJpegWriter(gradient, folder / "rough.jpg", 10);
    const Bytes best = ReadBytes(folder / "best.jpg");
    EXPECT_EQ(ReadBytes(folder / "clamped.jpg"), best) << "a quality above 100 counts as 100";
    EXPECT_LT(ReadBytes(folder / "rough.jpg").size(), best.size() / 2);

    tjhandle decoder = tjInitDecompress();
    int width = 0, height = 0, subsampling = -1, colourspace = -1;
    EXPECT_EQ(tjDecompressHeader3(decoder, best.data(), best.size(), &width, &height, &subsampling, &colourspace), 0);
    tjDestroy(decoder);
    EXPECT_EQ(subsampling, TJSAMP_444);
    EXPECT_EQ(width, 64);
    EXPECT_EQ(height, 48);

    EXPECT_LE(MaxColourError(LoadPictureFile(folder / "best.jpg").picture, gradient), 4);
    EXPECT_EQ(ReadBytes(folder / "best.jpg"), EncodedAs(gradient, false, "jpg", folder.Path())) << "the same encoder as SavePictureFile";
}

TEST(JpegWriter, FailuresReportAGdiplusStatus)
{
    TempFolder folder;
    WriteText(folder / "blocker", "a file");
    std::filesystem::create_directory(folder / "ring.jpg");
    const std::string missing = (folder / "missing").string();
    EXPECT_EQ(GdiplusStatusOf([&] { SaveThroughJpegWriter(LetterF(), folder / "missing" / "f.jpg", 100); }, missing + " does not exist"), 7);
    EXPECT_EQ(GdiplusStatusOf([&] { SaveThroughJpegWriter(LetterF(), folder / "blocker" / "f.jpg", 100); }, "blocker is not a folder"), 7);
    EXPECT_EQ(GdiplusStatusOf([&] { SaveThroughJpegWriter(LetterF(), folder / "ring.jpg", 100); }, "ring.jpg is a folder"), 7);
    EXPECT_EQ(GdiplusStatusOf([&] { SaveThroughJpegWriter(Picture(), folder / "empty.jpg", 100); }, "no pixels"), 2);
    EXPECT_EQ(EntryNames(folder.Path()), (std::vector<std::string>{"blocker", "ring.jpg"}));
}

TEST(JpegWriter, ReadOnlyFolderIsAccessDenied)
{
    TempFolder folder;
    if (!PermissionsAreEnforced(folder.Path()))
        GTEST_SKIP() << RootSkipReason;
    SaveThroughJpegWriter(Picture(2, 2, Blue), folder / "f.jpg", 100);
    const Bytes older = ReadBytes(folder / "f.jpg");
    std::filesystem::permissions(folder.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_EQ(GdiplusStatusOf([&] { SaveThroughJpegWriter(LetterF(), folder / "f.jpg", 100); }, "cannot write in the folder"), 12);
    std::filesystem::permissions(folder.Path(), std::filesystem::perms::owner_all);
    EXPECT_EQ(ReadBytes(folder / "f.jpg"), older);
    EXPECT_EQ(EntryNames(folder.Path()), std::vector<std::string>{"f.jpg"});
}

} // namespace
} // namespace tollamere::test
