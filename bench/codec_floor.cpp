// SPDX-License-Identifier: MIT
// The floor a batch is measured against: the same files decoded and encoded
// by the codec libraries alone, in one process, with nothing in between.
//   codec_floor jpeg OUT_FOLDER FILE...   TurboJPEG, quality 100, 4:4:4
//   codec_floor png OUT_FOLDER FILE...    libpng at its defaults
#include <png.h>
#include <turbojpeg.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// Buffers and codec handles live as long as the process, as a batch program
// tuned for speed keeps them.
struct JpegFloor {
    tjhandle decoder = tjInitDecompress();
    tjhandle encoder = tjInitCompress();
    std::vector<unsigned char> file;
    std::vector<unsigned char> pixels;
    std::vector<unsigned char> jpeg;

    ~JpegFloor()
    {
        tjDestroy(decoder);
        tjDestroy(encoder);
    }

    bool Convert(const std::filesystem::path& in, const std::filesystem::path& out)
    {
        std::FILE* input = std::fopen(in.c_str(), "rb");
        if (input == nullptr)
            return false;
        std::fseek(input, 0, SEEK_END);
        file.resize(std::size_t(std::ftell(input)));
        std::fseek(input, 0, SEEK_SET);
        const bool read = std::fread(file.data(), 1, file.size(), input) == file.size();
        std::fclose(input);
        int width = 0, height = 0, subsampling = 0, colourspace = 0;
        if (!read || tjDecompressHeader3(decoder, file.data(), file.size(), &width, &height, &subsampling, &colourspace) != 0)
            return false;
        pixels.resize(std::size_t(width) * std::size_t(height) * 3);
        if (tjDecompress2(decoder, file.data(), file.size(), pixels.data(), width, width * 3, height, TJPF_BGR, 0) != 0)
            return false;
        jpeg.resize(tjBufSize(width, height, TJSAMP_444));
        unsigned char* output = jpeg.data();
        unsigned long size = jpeg.size();
        if (tjCompress2(encoder, pixels.data(), width, width * 3, height, TJPF_BGR, &output, &size, TJSAMP_444, 100, TJFLAG_NOREALLOC) != 0)
            return false;
        std::FILE* written = std::fopen(out.c_str(), "wb");
        const bool ok = written != nullptr && std::fwrite(output, 1, size, written) == size;
        return (written == nullptr || std::fclose(written) == 0) && ok;
    }
};

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
    JpegFloor jpeg;
    for (int i = 3; i < argc; ++i) {
        const std::filesystem::path in = argv[i];
        const bool ok = mode == "jpeg" ? jpeg.Convert(in, folder / in.filename()) : Png(in, folder / in.filename());
        if (!ok) {
            std::fprintf(stderr, "%s: failed\n", argv[i]);
            ++failed;
        }
    }
    return failed == 0 ? 0 : 1;
}
