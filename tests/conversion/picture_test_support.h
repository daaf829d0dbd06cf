// SPDX-License-Identifier: MIT
#pragma once

// Pictures, folders and file bytes shared by the picture-file tests.

#include "format_registry.h"
#include "letter_f.h"
#include "file_io.h"
#include "picture_files.h"
#include "runtime_error.h"
#include "save_as_jpeg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

// These sanitizers map shadow memory as the process runs, so no limit on
// the address space holds under them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TOLLAMERE_SANITIZER_MAPS_MEMORY
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define TOLLAMERE_SANITIZER_MAPS_MEMORY
#endif
#endif

namespace tollamere::test {

// The F with a fully transparent right column (black, as loading gives it)
// and a half-transparent green pixel.
inline Picture LetterFWithAlpha()
{
    Picture picture = LetterF();
    for (std::int32_t y = 0; y < 5; ++y)
        picture.Pixel(5, y) = 0x00000000u;
    picture.Pixel(4, 4) = 0x8000FF00u;
    return picture;
}

// A smooth picture with a distinct colour at nearly every pixel.
inline Picture Gradient(std::int32_t width, std::int32_t height)
{
    Picture picture(width, height);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x) {
            const auto r = std::uint32_t(x * 255 / (width - 1));
            const auto g = std::uint32_t(y * 255 / (height - 1));
            const auto b = std::uint32_t((x + y) * 255 / (width + height - 2));
            picture.Pixel(x, y) = 0xFF000000u | r << 16 | g << 8 | (255 - b);
        }
    return picture;
}

inline ::testing::AssertionResult SamePixels(const Picture& actual, const Picture& expected)
{
    if (actual.Width() != expected.Width() || actual.Height() != expected.Height())
        return ::testing::AssertionFailure() << "size " << actual.Width() << " x " << actual.Height() << ", expected "
                                             << expected.Width() << " x " << expected.Height();
    for (std::int32_t y = 0; y < expected.Height(); ++y)
        for (std::int32_t x = 0; x < expected.Width(); ++x)
            if (actual.Pixel(x, y) != expected.Pixel(x, y))
                return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << std::hex << actual.Pixel(x, y)
                                                     << ", expected " << expected.Pixel(x, y);
    return ::testing::AssertionSuccess();
}

inline int ChannelDifference(std::uint32_t a, std::uint32_t b, int shift)
{
    return std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF));
}

// The largest difference of red, green or blue over the picture.
inline int MaxColourError(const Picture& actual, const Picture& expected)
{
    int largest = 0;
    for (std::int32_t y = 0; y < expected.Height(); ++y)
        for (std::int32_t x = 0; x < expected.Width(); ++x)
            for (int shift : {0, 8, 16})
                largest = std::max(largest, ChannelDifference(actual.Pixel(x, y), expected.Pixel(x, y), shift));
    return largest;
}

inline double MeanColourError(const Picture& actual, const Picture& expected)
{
    double total = 0;
    for (std::int32_t y = 0; y < expected.Height(); ++y)
        for (std::int32_t x = 0; x < expected.Width(); ++x)
            for (int shift : {0, 8, 16})
                total += ChannelDifference(actual.Pixel(x, y), expected.Pixel(x, y), shift);
    return total / (3.0 * expected.Width() * expected.Height());
}

using Bytes = std::vector<std::uint8_t>;

inline Bytes ReadBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline void WriteText(const std::filesystem::path& path, const std::string& text)
{
    WriteBytes(path, Bytes(text.begin(), text.end()));
}

inline std::vector<std::string> EntryNames(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The bytes a save wrote, read back through the loader.
inline Bytes EncodedAs(const Picture& picture, bool hasAlpha, const std::string& extension, const std::filesystem::path& folder)
{
    const auto path = folder / ("encoded." + extension);
    SavePictureFile(picture, hasAlpha, path);
    Bytes bytes = ReadBytes(path);
    std::filesystem::remove(path);
    return bytes;
}

// A JPEG saved as the run saves one through the JPEG writer: the encoding's
// and the write's failures reported with a GDI+ status.
inline void SaveThroughJpegWriter(const Picture& picture, const std::filesystem::path& path, int quality)
{
    SaveSettings settings;
    settings.quality = quality;
    const Bytes encoded = EncodeForJpegWriter([&] { return EncodePictureFile(picture, false, path, settings); }, path);
    try {
        WriteFileReplacing(path, encoded);
    } catch (const RuntimeError& error) {
        RaiseJpegWriterFailure(error);
    }
}

// The extensions of the formats written here that `keep` takes: each one's
// preferred extension, or with everySpelling every extension it is written
// under and the preferred one in upper case too.
inline std::vector<std::string> WrittenExtensions(bool (*keep)(const FileFormat&), bool everySpelling = false)
{
    std::vector<std::string> extensions;
    for (const FileFormat* format : WritableFormats()) {
        if (!keep(*format))
            continue;
        std::string preferred(format->PreferredExtension());
        extensions.push_back(preferred);
        if (!everySpelling)
            continue;
        for (const std::string_view other : format->extensions.subspan(1))
            if (format->CanWrite(other))
                extensions.emplace_back(other);
        std::transform(preferred.begin(), preferred.end(), preferred.begin(), [](unsigned char c) { return char(std::toupper(c)); });
        extensions.push_back(preferred);
    }
    return extensions;
}

inline bool AnyFormat(const FileFormat&)
{
    return true;
}

// A few of the formats Qt writes by itself, which no description names.
inline const std::vector<std::string> OtherQtExtensions{"ppm", "xpm"};

inline std::vector<std::string> Joined(std::vector<std::string> first, const std::vector<std::string>& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// A folder of its own for one test, removed with everything in it afterwards.
class TempFolder {
public:
    TempFolder()
    {
        std::random_device entropy;
        path_ = std::filesystem::temp_directory_path() / ("tollamere-test-" + std::to_string(entropy()) + std::to_string(entropy()));
        std::filesystem::create_directories(path_);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder()
    {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored))
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }

    const std::filesystem::path& Path() const noexcept { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Whether this process is held back by a folder without write permission;
// the superuser is not, so tests that need it are skipped there.
inline bool PermissionsAreEnforced(const std::filesystem::path& scratch)
{
    const auto folder = scratch / "probe";
    std::filesystem::create_directory(folder);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const bool created = std::ofstream(folder / "file").good();
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    std::filesystem::remove_all(folder);
    return !created;
}

inline constexpr const char* RootSkipReason = "permissions are not enforced for this user (superuser), so a read-only folder cannot fail a write";

} // namespace tollamere::test
