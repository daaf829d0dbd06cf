// SPDX-License-Identifier: MIT
#include "format_registry.h"
#include "picture_test_support.h"

#include <gtest/gtest.h>

#include <QColorSpace>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace tollamere::test {
namespace {

std::string SourceText(const std::string& relative)
{
    std::ifstream in(std::string(TOLLAMERE_SOURCE_DIR "/") + relative, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Roff's line breaks and hyphen escapes out of the way.
std::string PlainManual(std::string text)
{
    text = std::regex_replace(text, std::regex("\\\\-"), "-");
    return std::regex_replace(text, std::regex("\\s+"), " ");
}

std::string Lower(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return lower;
}

// The installed files that list the formats are typed by hand; they must
// say what the table says.
TEST(FormatRegistry, InstalledFilesListTheTablesFormats)
{
    const std::vector<std::string_view> names = ListedFormatNames();
    std::set<std::string> extensions;
    for (const FileFormat* format : ListedFormats()) {
        for (std::size_t i = 0; i < format->listedExtensions; ++i)
            extensions.emplace(format->extensions[i]);
    }
    ASSERT_FALSE(names.empty());

    std::string completed;
    for (const std::string& extension : extensions)
        completed += (completed.empty() ? "" : " ") + extension;
    EXPECT_NE(SourceText("completion/tollamere-cli.bash").find("compgen -W '" + completed + "'"), std::string::npos) << completed;

    const std::string readOnly = NameList(ReadOnlyFormatNames());
    EXPECT_NE(PlainManual(SourceText("man/tollamere.1")).find("reads " + NameList(names) + " pictures, and also " + readOnly + " files."),
              std::string::npos);
    EXPECT_NE(PlainManual(SourceText("man/tollamere-cli.1")).find("by their content: " + NameList(names) + ", and also " + readOnly + "."),
              std::string::npos);

    // The README and the software centre's description name them as the
    // window's help does.
    std::string readme;
    for (const char c : SourceText("README.md")) {
        const char folded = c == '\n' ? ' ' : c;
        if (folded != ' ' || readme.empty() || readme.back() != ' ')
            readme.push_back(folded);
    }
    EXPECT_NE(readme.find(NameList(names) + " (the last two losslessly)"), std::string::npos);
    EXPECT_NE(SourceText("desktop/app.tollamere.Tollamere.metainfo.xml").find("Reads and writes " + NameList(names)),
              std::string::npos);

    const std::string desktop = SourceText("desktop/app.tollamere.Tollamere.desktop");
    for (const FileFormat* format : AllFormats())
        EXPECT_NE(desktop.find(std::string(format->mimeType) + ";"), std::string::npos) << format->name;
}

// One chain says which format a file is, for the loader, the header probe
// and the guards alike.
TEST(FormatRegistry, TheContentSaysTheFormat)
{
    struct Row {
        const char* what;
        Bytes bytes;
        const char* format;  // nullptr: Qt's look decides
    };
    const auto bytes = [](std::string_view text) { return Bytes(text.begin(), text.end()); };
    const Bytes tga{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7, 0, 5, 0, 24, 0};
    const std::vector<Row> rows{
        {"JPEG's start of image", bytes("\xFF\xD8\xFF\xE0"), "JPEG"},
        {"GIF 87a", bytes("GIF87a\x01\x00"), "GIF"},
        {"a drawing after an XML declaration", bytes("\n<?xml version=\"1.0\"?>\n<svg width=\"2\" height=\"2\"/>"), "SVG"},
        {"text that only mentions a drawing", bytes("notes on <svg> files"), nullptr},
        {"GIF 89a", bytes("GIF89a\x01\x00"), "GIF"},
        {"AVIF's brand", bytes(std::string_view("\0\0\0\x18" "ftypavif\0\0\0\0mif1avif", 24)), "AVIF"},
        {"AVIF among the compatible brands", bytes(std::string_view("\0\0\0\x18" "ftypmif1\0\0\0\0mif1avis", 24)), "AVIF"},
        {"another ISO media file", bytes(std::string_view("\0\0\0\x14" "ftypheic\0\0\0\0mif1", 20)), nullptr},
        {"JPEG XL codestream", bytes("\xFF\x0A\x00"), "JPEG XL"},
        {"JPEG XL container", bytes(std::string_view("\0\0\0\x0CJXL \x0D\x0A\x87\x0A", 12)), "JPEG XL"},
        {"PNG", bytes("\x89PNG\r\n\x1A\n"), "PNG"},
        {"PNG cut in its signature", bytes("\x89PNG\r\n"), nullptr},
        {"BMP", bytes("BM\x36\x00"), "BMP"},
        {"icon", bytes(std::string_view("\0\0\1\0\1\0", 6)), "ICO"},
        {"cursor", bytes(std::string_view("\0\0\2\0\1\0", 6)), "CUR"},
        {"a directory of no entries is no icon", bytes(std::string_view("\0\0\1\0\0\0", 6)), nullptr},
        {"TGA, which starts like a cursor of no entries", tga, "TGA"},
        {"WebP", bytes(std::string_view("RIFF\x10\0\0\0WEBPVP8L", 16)), "WebP"},
        {"TIFF, little-endian", bytes(std::string_view("II*\0\x08\0\0\0", 8)), "TIFF"},
        {"TIFF, big-endian", bytes(std::string_view("MM\0*\0\0\0\x08", 8)), "TIFF"},
        {"text", bytes("not a picture"), nullptr},
        {"nothing", Bytes{}, nullptr},
    };
    for (const Row& row : rows) {
        const FileFormat* found = FormatOfContent(row.bytes);
        EXPECT_EQ(found ? std::string(found->name) : std::string("none"), row.format ? row.format : "none") << row.what;
    }
    const std::optional<PictureSize> tgaSize = ProbePictureSize(tga);
    ASSERT_TRUE(tgaSize);
    EXPECT_EQ(tgaSize->width, 7u);
    EXPECT_EQ(tgaSize->height, 5u);
}

// What every format written here writes is read back as that format, the
// one its extension names.
TEST(FormatRegistry, WrittenFilesAreKnownByTheirContentAndExtension)
{
    TempFolder folder;
    for (const std::string& extension : WrittenExtensions(AnyFormat, true)) {
        const FileFormat* named = FormatOfExtension(extension);
        ASSERT_NE(named, nullptr) << extension;
        EXPECT_EQ(FormatOfContent(EncodedAs(LetterF(), false, extension, folder.Path())), named) << extension;
        EXPECT_TRUE(CanReadPictureExtension(extension)) << extension;
    }
    EXPECT_EQ(FormatOfExtension("ppm"), nullptr) << "Qt's other formats have no description";
    EXPECT_EQ(FormatOfExtension(""), nullptr);
    EXPECT_TRUE(CanReadPictureExtension("TGA")) << "read, though not written";
    EXPECT_TRUE(CanReadPictureExtension("svgz")) << "a drawing is read, rendered at its size";
    EXPECT_FALSE(CanWritePictureExtension("svg")) << "and never written";
}

// The metadata a description says its format carries comes back from an
// output; what it does not carry, never.
TEST(FormatRegistry, OutputsKeepTheMetadataTheirFormatCarries)
{
    TempFolder folder;
    const QByteArray adobe = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
    SaveSettings settings;
    settings.metadata.iccProfile.assign(adobe.begin(), adobe.end());
    settings.metadata.dotsPerMetreX = 5000;
    settings.metadata.dotsPerMetreY = 6000;
    settings.metadata.exif = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0};
    for (const FileFormat* format : WritableFormats()) {
        const std::string name = "m." + std::string(format->PreferredExtension());
        SCOPED_TRACE(name);
        SavePictureFile(LetterF(), false, folder / name, settings);
        const PictureMetadata kept = LoadPictureFile(folder / name).metadata;
        EXPECT_EQ(!kept.iccProfile.empty(), (format->metadata & CarriesProfile) != 0);
        if (!kept.iccProfile.empty()) {
            EXPECT_EQ(kept.iccProfile, settings.metadata.iccProfile);
        }
        // JPEG stores dots per inch or per centimetre, in whole numbers.
        const auto near = [](std::uint32_t value, std::uint32_t wanted) { return value + 50 >= wanted && value <= wanted + 50; };
        EXPECT_EQ(near(kept.dotsPerMetreX, 5000) && near(kept.dotsPerMetreY, 6000), (format->metadata & CarriesResolution) != 0)
            << kept.dotsPerMetreX << " x " << kept.dotsPerMetreY;
        EXPECT_EQ(kept.exif == settings.metadata.exif, (format->metadata & CarriesExif) != 0);
    }
}

// Only "jpg" takes the JPEG writer and only "bmp" the bitmap's; every other
// extension, a JPEG's other names too, is written in its own format.
TEST(FormatRegistry, TheRouteFollowsTheExtensionAsWritten)
{
    struct Row {
        const char* extension;
        OutputRoute route;
        Encoder encoder;
    };
    for (const Row& row : std::vector<Row>{{"jpg", OutputRoute::JpegWriter, Encoder::Jpeg},
                                           {"JPG", OutputRoute::JpegWriter, Encoder::Jpeg},
                                           {"jpeg", OutputRoute::OwnFormat, Encoder::Jpeg},
                                           {"jfif", OutputRoute::OwnFormat, Encoder::Jpeg},
                                           {"bmp", OutputRoute::Bitmap, Encoder::Own},
                                           {"Bmp", OutputRoute::Bitmap, Encoder::Own},
                                           {"png", OutputRoute::OwnFormat, Encoder::Own},
                                           {"tiff", OutputRoute::OwnFormat, Encoder::Qt},
                                           {"ppm", OutputRoute::OwnFormat, Encoder::Qt}}) {
        const std::optional<PictureFormat> format = FormatForExtension(row.extension);
        ASSERT_TRUE(format) << row.extension;
        EXPECT_EQ(format->route, row.route) << row.extension;
        EXPECT_EQ(format->encoder, row.encoder) << row.extension;
        EXPECT_EQ(format->extension, Lower(row.extension));
    }
    EXPECT_FALSE(FormatForExtension("svg"));
}

} // namespace
} // namespace tollamere::test
