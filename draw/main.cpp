// SPDX-License-Identifier: MIT
// tollamere-draw WIDTH HEIGHT [DRAWING_WIDTH DRAWING_HEIGHT]
//
// Renders the SVG drawing on its standard input at WIDTH by HEIGHT pixels
// with librsvg and writes the pixels on
// its standard output: 32-bit words in the machine's order, alpha in the
// top byte, then red, green, blue, not premultiplied (a see-through pixel
// is 0); rows top-down, no padding. The drawing is laid out in a box of
// DRAWING_WIDTH by DRAWING_HEIGHT (its stated size, fractions kept), which
// is scaled to fill the pixels exactly; without them, in the pixels' box. Exit status 0 then. A drawing the
// renderer refuses gives status 1 and the renderer's reason on the
// standard output instead; a lack of memory, status 3.
//
// Its caller (the picture readers' SVG format) has limited its memory and
// time; it shuts itself in before it reads a byte of the drawing, once the
// fonts' configuration is loaded: it may then read nothing but fonts, and
// the drawing has no base file to find anything else from.

#include "sandbox.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <librsvg/rsvg.h>
#include <malloc.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace tollamere::draw;

constexpr int Rendered = 0;
constexpr int Refused = 1;
constexpr int Usage = 2;
constexpr int OutOfMemory = 3;

// The caller unpacks and checks the drawing (at most 32 MiB); beyond twice
// that the input is no drawing of its.
constexpr std::size_t MostInputBytes = 64u << 20;
// cairo's image surfaces hold at most 32767 pixels a side.
constexpr int MostSide = 32767;

// Builds of this program with AddressSanitizer check its leaks at exit;
// the font and renderer libraries keep their caches until then on purpose.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }
#endif
#endif

bool WriteAll(const void* data, std::size_t size)
{
    const auto* at = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t put = ::write(STDOUT_FILENO, at, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        at += put;
        size -= std::size_t(put);
    }
    return true;
}

int Refuse(std::string_view reason)
{
    WriteAll(reason.data(), std::min<std::size_t>(reason.size(), 1024));
    return Refused;
}

bool ReadSide(const char* text, int& side)
{
    const std::string_view view(text);
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), side);
    return error == std::errc{} && end == view.data() + view.size() && side >= 1 && side <= MostSide;
}

bool ReadLength(const char* text, double& length)
{
    const std::string_view view(text);
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), length);
    return error == std::errc{} && end == view.data() + view.size() && std::isfinite(length) && length > 0;
}

bool ReadInput(std::vector<std::uint8_t>& into)
{
    std::uint8_t chunk[65536];
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        if (into.size() + std::size_t(got) > MostInputBytes)
            return false;
        into.insert(into.end(), chunk, chunk + got);
    }
}

std::vector<std::filesystem::path> Folders(FcStrList* list)
{
    std::vector<std::filesystem::path> folders;
    if (list == nullptr)
        return folders;
    while (const FcChar8* folder = FcStrListNext(list))
        folders.emplace_back(reinterpret_cast<const char*>(folder));
    FcStrListDone(list);
    return folders;
}

// What must be loaded before the sandbox closes: fontconfig's configuration
// and caches, and the image loaders for the pictures a drawing may hold in
// place (librsvg reads a drawing held in place through the image loaders
// too, whose SVG loader is librsvg). Answers the folders the fonts are read from later, one file at a
// time.
std::vector<std::filesystem::path> LoadBeforeSandbox()
{
    FcInit();
    for (const char* type : {"png", "jpeg", "gif", "svg"}) {
        if (GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type(type, nullptr)) {
            gdk_pixbuf_loader_close(loader, nullptr);
            g_object_unref(loader);
        }
    }
    std::vector<std::filesystem::path> readable = Folders(FcConfigGetFontDirs(nullptr));
    const std::vector<std::filesystem::path> caches = Folders(FcConfigGetCacheDirs(nullptr));
    readable.insert(readable.end(), caches.begin(), caches.end());
    return readable;
}

// cairo's premultiplied words to straight ones, rounded to nearest.
void Unpremultiply(std::uint32_t* pixels, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t pixel = pixels[i];
        const std::uint32_t alpha = pixel >> 24;
        if (alpha == 0) {
            pixels[i] = 0;
        } else if (alpha < 255) {
            const auto straight = [&](unsigned shift) {
                const std::uint32_t value = (pixel >> shift) & 0xFF;
                return std::min<std::uint32_t>(255, (value * 255 + alpha / 2) / alpha) << shift;
            };
            pixels[i] = (alpha << 24) | straight(16) | straight(8) | straight(0);
        }
    }
}

int Render(const std::vector<std::uint8_t>& drawing, int width, int height, double boxWidth, double boxHeight)
{
    GError* error = nullptr;
    // No base file: a reference outside the drawing has nothing to resolve
    // against, and the renderer refuses to load it.
    RsvgHandle* handle = rsvg_handle_new_from_data(drawing.data(), gsize(drawing.size()), &error);
    if (handle == nullptr) {
        const std::string reason = error != nullptr ? error->message : "it is not a drawing";
        g_clear_error(&error);
        return Refuse(reason);
    }
    rsvg_handle_set_dpi(handle, 96);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS)
        return OutOfMemory;
    cairo_t* context = cairo_create(surface);
    cairo_scale(context, width / boxWidth, height / boxHeight);
    const RsvgRectangle viewport{0, 0, boxWidth, boxHeight};
    const bool drawn = rsvg_handle_render_document(handle, context, &viewport, &error);
    const cairo_status_t status = cairo_status(context);
    cairo_destroy(context);
    g_object_unref(handle);
    if (status == CAIRO_STATUS_NO_MEMORY)
        return OutOfMemory;
    if (!drawn) {
        const std::string reason = error != nullptr ? error->message : "it cannot be drawn";
        g_clear_error(&error);
        // librsvg tells a layer it could not allocate only in its message:
        // "rendering error: NoMemory".
        if (reason.find("NoMemory") != std::string::npos)
            return OutOfMemory;
        return Refuse(reason);
    }
    cairo_surface_flush(surface);
    auto* pixels = reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(surface));
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(reinterpret_cast<std::uint8_t*>(pixels) + std::ptrdiff_t(y) * stride);
        Unpremultiply(row, std::size_t(width));
        if (!WriteAll(row, std::size_t(width) * 4))
            return Refused;
    }
    cairo_surface_destroy(surface);
    return Rendered;
}

} // namespace

int main(int argc, char** argv)
{
    // Gone with its caller, even one that crashed.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // One heap for every thread: each further arena reserves 64 MiB of the
    // address space this process is limited to.
    mallopt(M_ARENA_MAX, 1);
    int width = 0;
    int height = 0;
    double boxWidth = 0;
    double boxHeight = 0;
    const bool read = (argc == 3 || argc == 5) && ReadSide(argv[1], width) && ReadSide(argv[2], height);
    if (read && argc == 3) {
        boxWidth = width;
        boxHeight = height;
    }
    if (!read || (argc == 5 && !(ReadLength(argv[3], boxWidth) && ReadLength(argv[4], boxHeight)))) {
        std::fputs("usage: tollamere-draw WIDTH HEIGHT [DRAWING_WIDTH DRAWING_HEIGHT] (sides of 1 to 32767 pixels), "
                   "the drawing on standard input\n",
                   stderr);
        return Usage;
    }
    try {
        bool landlocked = false;
        EnterSandbox(LoadBeforeSandbox(), landlocked);
    } catch (const std::exception& failure) {
        return Refuse(std::string("its sandbox cannot be set up (") + failure.what() + ")");
    }
    std::vector<std::uint8_t> drawing;
    if (!ReadInput(drawing))
        return Refuse("the drawing did not arrive whole");
    return Render(drawing, width, height, boxWidth, boxHeight);
}
