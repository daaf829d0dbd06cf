// SPDX-License-Identifier: MIT
#include "picture_files.h"
#include "picture_test_support.h"
#include "runtime_error.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <unistd.h>

namespace tollamere {
namespace {

// A real file system that fills up: a 64 KiB tmpfs, which only the superuser
// may mount. Elsewhere the file-size limit test stands in for it.
class SmallFileSystem {
public:
    explicit SmallFileSystem(const std::filesystem::path& folder) : folder_(folder)
    {
        std::filesystem::create_directories(folder_);
        if (geteuid() != 0)
            return;
        const std::string command = "mount -t tmpfs -o size=64k tmpfs '" + folder_.string() + "' 2>/dev/null";
        mounted_ = std::system(command.c_str()) == 0;
    }
    ~SmallFileSystem()
    {
        if (mounted_)
            static_cast<void>(std::system(("umount '" + folder_.string() + "'").c_str()));
    }
    bool Mounted() const { return mounted_; }

private:
    std::filesystem::path folder_;
    bool mounted_ = false;
};

TEST(FullDiskTest, SavesIntoAFullFolderFailAndKeepTheOlderFile)
{
    test::TempFolder sandbox;
    const SmallFileSystem disk(sandbox / "small");
    if (!disk.Mounted())
        GTEST_SKIP() << "mounting a small tmpfs needs the superuser and a system that allows it";

    const std::filesystem::path older = sandbox / "small" / "button.bmp";
    test::WriteBytes(older, test::Bytes(20000, 0x42));
    // 200 x 200 pixels of noise: about 120 KB as a bitmap and more than
    // 100 KB as a JPEG at quality 100, more than the 44 KB left.
    Picture picture(200, 200);
    std::mt19937 random(5);
    for (std::int32_t y = 0; y < 200; ++y)
        for (std::int32_t x = 0; x < 200; ++x)
            picture.Pixel(x, y) = 0xFF000000u | (random() & 0xFFFFFFu);
    try {
        SavePictureFile(picture, false, older);
        ADD_FAILURE() << "a save into a full folder reported success";
    } catch (const RuntimeError& error) {
        EXPECT_FALSE(error.Description().empty());
    }
    try {
        test::SaveThroughJpegWriter(picture, sandbox / "small" / "photo.jpg", 100);
        ADD_FAILURE() << "a JPEG save into a full folder reported success";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Description().rfind("Cannot save the image. GDI+ Error:", 0), 0u) << error.Description();
    }
    EXPECT_EQ(test::ReadBytes(older), test::Bytes(20000, 0x42));
    EXPECT_EQ(test::EntryNames(sandbox / "small"), std::vector<std::string>{"button.bmp"});
}

} // namespace
} // namespace tollamere
