// SPDX-License-Identifier: MIT
// One item's way from its input's bytes to its output's bytes, without
// threads or files.
#include "item_conversion.h"

#include "conversion_run.h"
#include "letter_f.h"
#include "picture_files.h"
#include "picture_test_support.h"

#include <gtest/gtest.h>

namespace tollamere {
namespace {

using test::TempFolder;

// The output's bytes hold what the effect gives the picture, each icon size
// its own; a picture larger than allowed is told by its size; a parameter
// that could not be read and a stop end the item before anything is encoded.
TEST(ItemConversionTest, FromTheInputsBytesToTheOutputsBytes)
{
    const Picture letter = test::LetterF();
    Picture bevelled = letter;
    ApplyBevel(letter, bevelled, EffectParameters{}.parsed);
    const std::vector<std::uint8_t> png = EncodePicture(*FormatForExtension("png"), letter, false, {});

    enum class Expect { Bevelled, Icon, Larger, ParameterFails, Stopped, Damaged };
    const struct {
        const char* what;
        std::string format;
        Expect expect;
    } rows[] = {
        {"a picture", "png", Expect::Bevelled}, {"an icon's sizes", "ico", Expect::Icon},
        {"beyond the pixels allowed", "png", Expect::Larger}, {"a parameter not read", "png", Expect::ParameterFails},
        {"stopped", "png", Expect::Stopped}, {"damaged", "png", Expect::Damaged},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const TempFolder sandbox;
        test::WriteText(sandbox / "f.png", "");
        ConversionRequest request;
        request.inputPaths = {(sandbox / "f.png").string()};
        request.output.format = row.format;
        request.output.iconSizes = {4, 12};
        if (row.expect == Expect::ParameterFails)
            request.parameters = ReadEffectParameters("x", "135", "30", ".");
        OutputPlanner planner(request, sandbox.Path().string() + "/");
        const std::vector<ItemPlan> plans = planner.Plan();
        ASSERT_EQ(plans.size(), 1u);
        std::stop_source stop;
        if (row.expect == Expect::Stopped)
            stop.request_stop();
        std::vector<std::uint8_t> input = png;
        if (row.expect == Expect::Damaged)
            input.resize(input.size() / 2);
        BevelWorkspace space;
        const ItemOutput output = ConvertItem(plans[0], request, std::move(input), space,
                                              row.expect == Expect::Larger ? 29 : MaxPicturePixels, 1, stop.get_token());

        EXPECT_EQ(output.stopped, row.expect == Expect::Stopped);
        EXPECT_EQ(output.larger.has_value(), row.expect == Expect::Larger);
        if (output.larger)
            EXPECT_EQ(PixelCount(*output.larger), 30u);
        EXPECT_EQ(output.failure.has_value(), row.expect == Expect::ParameterFails || row.expect == Expect::Damaged);
        if (output.failure)
            EXPECT_EQ(output.failure->lineNumber, row.expect == Expect::Damaged ? LineLoad : LineBevel);
        if (row.expect != Expect::Bevelled && row.expect != Expect::Icon) {
            EXPECT_TRUE(output.bytes.empty());
            continue;
        }
        const PictureFile written = LoadPictureFromBytes(output.bytes);
        if (row.expect == Expect::Icon) {
            // The largest entry: the letter resized until its larger side
            // is the entry's.
            EXPECT_EQ(written.picture.Width(), 12);
            EXPECT_EQ(written.picture.Height(), 10);
            continue;
        }
        ASSERT_EQ(written.picture.Width(), letter.Width());
        for (std::int32_t y = 0; y < letter.Height(); ++y)
            for (std::int32_t x = 0; x < letter.Width(); ++x)
                EXPECT_EQ(written.picture.Pixel(x, y), bevelled.Pixel(x, y)) << x << "," << y;
    }
}

} // namespace
} // namespace tollamere
