// SPDX-License-Identifier: MIT
#include "colour_profile.h"

#include "runtime_error.h"

#include <lcms2.h>

#include <bit>
#include <memory>

namespace tollamere {
namespace {

struct CloseProfile {
    void operator()(void* profile) const noexcept { cmsCloseProfile(profile); }
};
struct DeleteTransform {
    void operator()(void* transform) const noexcept { cmsDeleteTransform(transform); }
};
using ProfileHandle = std::unique_ptr<void, CloseProfile>;
using TransformHandle = std::unique_ptr<void, DeleteTransform>;

// A profile from a file is the file's: what the library finds wrong in one
// is a reason to leave it, not a line on standard error.
void Quiet(cmsContext, cmsUInt32Number, const char*) {}

} // namespace

bool ConvertToSrgb(Picture& picture, std::span<const std::uint8_t> profile)
{
    if (!picture.HasBitmap() || profile.empty())
        return false;
    static const bool quiet = (cmsSetLogErrorHandler(Quiet), true);
    (void)quiet;
    const ProfileHandle source(cmsOpenProfileFromMem(profile.data(), cmsUInt32Number(profile.size())));
    const ProfileHandle srgb(cmsCreate_sRGBProfile());
    if (!source || !srgb || cmsGetColorSpace(source.get()) != cmsSigRgbData)
        return false;
    // A pixel word 0xAARRGGBB lies in memory as B, G, R, A on a
    // little-endian machine.
    constexpr cmsUInt32Number Layout = std::endian::native == std::endian::little ? TYPE_BGRA_8 : TYPE_ARGB_8;
    const TransformHandle transform(cmsCreateTransform(source.get(), Layout, srgb.get(), Layout, INTENT_PERCEPTUAL,
                                                       cmsFLAGS_COPY_ALPHA));
    if (!transform)
        return false;
    for (std::int32_t y = 0; y < picture.Height(); ++y)
        cmsDoTransform(transform.get(), picture.Row(y), picture.Row(y), cmsUInt32Number(picture.Width()));
    return true;
}

} // namespace tollamere
