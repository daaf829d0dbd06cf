// SPDX-License-Identifier: MIT
// The floor a batch is measured against: the same files decoded and encoded
// by the codec libraries alone, in one process, with nothing in between.
//   codec_floor jpeg OUT_FOLDER FILE...   TurboJPEG, quality 100, 4:4:4
//   codec_floor png OUT_FOLDER FILE...    libpng at its defaults
#include <png.h>
#include <turbojpeg.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> ReadAll(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

bool WriteAll(const std::filesystem::path& path, const unsigned char* data, std::size_t size)
{
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    return bool(file);
}

bool Jpeg(const std::filesystem::path& in, const std::filesystem::path& out)
{
    const std::vector<unsigned char> bytes = ReadAll(in);
    tjhandle decoder = tjInitDecompress();
    tjhandle encoder = tjInitCompress();
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    bool ok = tjDecompressHeader3(decoder, bytes.data(), bytes.size(), &width, &height, &subsampling, &colourspace) == 0;
    std::vector<unsigned char> pixels(std::size_t(width) * std::size_t(height) * 3);
    ok = ok && tjDecompress2(decoder, bytes.data(), bytes.size(), pixels.data(), width, width * 3, height, TJPF_BGR, 0) == 0;
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    ok = ok && tjCompress2(encoder, pixels.data(), width, width * 3, height, TJPF_BGR, &jpeg, &size, TJSAMP_444, 100, 0) == 0;
    ok = ok && WriteAll(out, jpeg, size);
    tjFree(jpeg);
    tjDestroy(decoder);
    tjDestroy(encoder);
    return ok;
}

bool Png(const std::filesystem::path& in, const std::filesystem::path& out)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, in.c_str()))
        return false;
    image.format = PNG_FORMAT_RGBA;
    std::vector<png_byte> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr))
        return false;
    // Written as the program writes buttons: 8-bit RGBA, default compression.
    return png_image_write_to_file(&image, out.c_str(), 0, pixels.data(), 0, nullptr) != 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: codec_floor jpeg|png OUT_FOLDER FILE...\n");
        return 2;
    }
    const std::string mode = argv[1];
    const std::filesystem::path folder = argv[2];
    int failed = 0;
    for (int i = 3; i < argc; ++i) {
        const std::filesystem::path in = argv[i];
        const bool ok = mode == "jpeg" ? Jpeg(in, folder / in.filename()) : Png(in, folder / in.filename());
        if (!ok) {
            std::fprintf(stderr, "%s: failed\n", argv[i]);
            ++failed;
        }
    }
    return failed == 0 ? 0 : 1;
}
