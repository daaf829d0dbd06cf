// SPDX-License-Identifier: MIT
#include "item_conversion.h"

#include "cDIBSection.h"
#include "drop_shadow.h"
#include "file_path.h"
#include "format_registry.h"
#include "jpeg_codec.h"
#include "picture_files.h"
#include "resample.h"
#include "save_as_jpeg.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <new>
#include <utility>

namespace tollamere {

std::optional<StepFailure> GrownBeyondLimits(PictureSize size, std::int32_t margin)
{
    if (margin <= 0)
        return std::nullopt;
    const GrownSize grown = GrowBy(std::int32_t(std::min<std::uint64_t>(size.width, INT32_MAX)),
                                   std::int32_t(std::min<std::uint64_t>(size.height, INT32_MAX)), margin);
    if (PixelCount({grown.width, grown.height}) <= MaxPicturePixels)
        return std::nullopt;
    return Refusal(LineBevel, ErrorNumber::OutOfMemory,
                   "a margin of " + std::to_string(margin) + " pixels makes the picture " + std::to_string(grown.width) +
                       " x " + std::to_string(grown.height) + " pixels, beyond the " + std::to_string(MaxPicturePixels) +
                       " pixels a picture may have");
}

bool WritesSizes(const ItemPlan& plan)
{
    return plan.format && plan.format->format && plan.format->format->encodeSizes;
}

double ResizeFactor(const ItemPlan& plan, const OutputOptions& options, PictureSize size)
{
    if (!plan.resized || size.width == 0 || size.height == 0)
        return 1.0;
    return FitFactor(std::int64_t(size.width), std::int64_t(size.height), options.fitWidth, options.fitHeight, plan.scale.factor);
}

namespace {

// Whether the output keeps every level of alpha, so that a margin can be
// transparent and a shadow soft over it.
bool OutputKeepsAlpha(const ItemPlan& plan)
{
    return plan.route != OutputRoute::Bitmap && plan.format && plan.format->format && plan.format->format->keepsAlpha;
}

// One item's conversion, with what every step of it reads.
class ItemConverter {
public:
    ItemConverter(const ItemPlan& plan, const ConversionRequest& request, BevelWorkspace& space, unsigned engineThreads)
        : plan_(plan), request_(request), space_(space), engineThreads_(engineThreads)
    {
    }

    ItemOutput Convert(std::vector<std::uint8_t>&& bytes, std::uint64_t allowedPixels, std::stop_token stop);

private:
    // The factor a drawing of the stated size is rendered at: its output's,
    // or for an icon the one that makes its larger side the largest an icon
    // holds, from which the smaller sides are resized.
    double DrawingFactor(const ItemPlan& plan, std::optional<PictureSize> stated) const
    {
        if (!stated || stated->width == 0 || stated->height == 0)
            return 1.0;
        if (!WritesSizes(plan))
            return ResizeFactor(plan, request_.output, *stated);
        return double(MaxIconSide) / double(std::max(stated->width, stated->height));
    }

    // The factor that makes a picture whose larger side is `side` an icon
    // entry `wanted` pixels across, the look's margin, scaled alike, included:
    // an icon's sizes are what it says. Raises Overflow (6) when the margin
    // leaves no room.
    double IconFactor(std::int32_t side, std::int32_t wanted) const
    {
        const std::int32_t margin = request_.parameters.look.decoration.margin;
        double factor = double(wanted) / double(side + 2 * std::int64_t{margin});
        // The margin is scaled and rounded by the factor it gives: a round
        // or two settles the two.
        for (int round = 0; round < 3 && margin > 0; ++round) {
            BevelParameters parameters = request_.parameters.parsed;
            BevelLook look = request_.parameters.look;
            ScaleEffect(parameters, look, factor);
            const std::int32_t inside = wanted - 2 * look.decoration.margin;
            if (inside < 1)
                RaiseWithReason(ErrorNumber::Overflow, "the margin leaves no room in an icon of " +
                                                           std::to_string(wanted) + " pixels");
            factor = double(inside) / double(side);
        }
        return factor;
    }

    // The picture resized by the factor; the same picture when its size
    // stays. Raises Out of memory (7) beyond the largest picture.
    Picture Resized(const Picture& picture, double factor) const
    {
        const ScaledSize size = SizeTimes(picture.Width(), picture.Height(), factor);
        if (size.width == picture.Width() && size.height == picture.Height())
            return picture;
        if (PixelCount({std::uint64_t(size.width), std::uint64_t(size.height)}) > MaxPicturePixels)
            RaiseWithReason(ErrorNumber::OutOfMemory, "resized to " + std::to_string(size.width) + " x " +
                                                          std::to_string(size.height) + " pixels, the picture would be beyond the " +
                                                          std::to_string(MaxPicturePixels) + " pixels a picture may have");
        return ResizePicture(picture, size.width, size.height, engineThreads_);
    }

    // The effect at the size of a picture resized by the factor: its pixel
    // sizes scaled alike, so that every size of a button looks the same.
    void BevelAt(Picture& picture, double factor, bool keepsAlpha, BevelWorkspace& space) const
    {
        BevelParameters parameters = request_.parameters.parsed;
        BevelLook look = request_.parameters.look;
        ScaleEffect(parameters, look, factor);
        const PictureSize size{std::uint64_t(picture.Width()), std::uint64_t(picture.Height())};
        if (const std::optional<StepFailure> beyond = GrownBeyondLimits(size, look.decoration.margin))
            Raise(beyond->number, beyond->description);
        ApplyLook(picture, parameters, look, keepsAlpha, engineThreads_, space);
    }

    const ItemPlan& plan_;
    const ConversionRequest& request_;
    BevelWorkspace& space_;
    unsigned engineThreads_;
    // Only the classic technique bevels the 24-bit surface a JPEG can be
    // decoded into; the others read the picture's words, and so do a margin
    // and a shadow, which grow the picture and draw on it.
    const bool onSurfaceAllowed_ =
        request_.parameters.look.technique == BevelTechnique::Classic && !request_.parameters.look.decoration.Any();
};

ItemOutput ItemConverter::Convert(std::vector<std::uint8_t>&& bytes, std::uint64_t allowedPixels, std::stop_token stop)
{
    ItemOutput output;
    // The input is read into the workspace's kept picture, and its memory
    // goes back there whatever happens to the item.
    PictureFile input;
    input.picture = std::move(space_.KeptPicture());
    struct GiveBack {
        BevelWorkspace& space;
        PictureFile& input;
        ~GiveBack() { space.KeptPicture() = std::move(input.picture); }
    } giveBack{space_, input};
    bool onSurface = false;
    // The factor a drawing was rendered at, for its size asked for; a
    // picture is loaded at its own size (1) and resized after.
    double rendered = 1.0;
    output.failure = RunStep(LineLoad, [&] {
        const std::vector<std::uint8_t> loaded = std::move(bytes);
        try {
            if (plan_.encoder == Encoder::Jpeg && onSurfaceAllowed_ && !plan_.resized && LooksLikeJpeg(loaded)) {
                onSurface = LoadJpegOntoSurface(loaded, allowedPixels, request_.output.autoOrient, space_, input);
            } else if ((plan_.resized || WritesSizes(plan_)) && IsDrawing(loaded)) {
                rendered = DrawingFactor(plan_, ProbePictureSize(loaded));
                RenderDrawingBytes(loaded, input, allowedPixels, rendered);
            } else {
                LoadPictureFromBytes(loaded, input, allowedPixels);
            }
            if (!onSurface && request_.output.autoOrient)
                TurnPictureUpright(input);
        } catch (const PictureBeyondAllowance& beyond) {
            output.larger = beyond.Size();
        } catch (const std::bad_alloc&) {
            RaiseWithReason(ErrorNumber::OutOfMemory, "no memory to decode the picture");
        }
    });
    if (output.failure || output.larger)
        return output;
    if (request_.parameters.error) {
        output.failure = FailureOf(LineBevel, *request_.parameters.error);
        return output;
    }

    // An icon's sizes, each resized and bevelled on its own.
    std::vector<Picture> sizes;
    output.failure = RunStep(LineBevel, [&] {
        if (onSurface) {
            space_.Bevel(request_.parameters.parsed, engineThreads_);
            return;
        }
        const bool keepsAlpha = OutputKeepsAlpha(plan_);
        if (WritesSizes(plan_)) {
            const std::int32_t side = std::max(input.picture.Width(), input.picture.Height());
            for (const std::int32_t wanted : IconSides(request_.output, side)) {
                const double factor = IconFactor(side, wanted);
                sizes.push_back(factor == 1.0 ? input.picture : Resized(input.picture, factor));
                BevelAt(sizes.back(), factor * rendered, keepsAlpha, space_);
            }
        } else {
            const PictureSize size{std::uint64_t(input.picture.Width()), std::uint64_t(input.picture.Height())};
            if (rendered != 1.0) {
                BevelAt(input.picture, rendered, keepsAlpha, space_);
            } else {
                const double factor = ResizeFactor(plan_, request_.output, size);
                if (plan_.resized)
                    input.picture = Resized(input.picture, factor);
                BevelAt(input.picture, factor, keepsAlpha, space_);
            }
        }
        if (request_.parameters.look.decoration.Any())
            input.hasAlpha = keepsAlpha;
    });
    if (output.failure)
        return output;
    if ((output.stopped = stop.stop_requested()))
        return output;

    const OutputOptions& options = request_.output;
    SaveSettings settings;
    settings.quality = options.quality;
    settings.pngLevel = options.pngLevel;
    if (!options.stripMetadata)
        settings.metadata = std::move(input.metadata);
    output.failure = RunStep(plan_.saveLine, [&] {
        const auto encode = [&] {
            if (onSurface)
                return EncodePictureFile(space_.Surface().Layout(), *plan_.format, settings);
            if (!sizes.empty())
                return EncodePictureSizes(sizes, input.hasAlpha, *plan_.format, settings);
            return EncodePictureFile(input.picture, input.hasAlpha, *plan_.format, settings);
        };
        output.bytes = plan_.route == OutputRoute::JpegWriter
                           ? EncodeForJpegWriter(encode, ToFileSystemPath(plan_.outputPath))
                           : encode();
    });
    return output;
}

} // namespace

ItemOutput ConvertItem(const ItemPlan& plan, const ConversionRequest& request, std::vector<std::uint8_t>&& input,
                       BevelWorkspace& space, std::uint64_t allowedPixels, unsigned engineThreads, std::stop_token stop)
{
    return ItemConverter(plan, request, space, engineThreads).Convert(std::move(input), allowedPixels, std::move(stop));
}

} // namespace tollamere
