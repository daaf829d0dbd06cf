// SPDX-License-Identifier: MIT
#include "cli_observer.h"
#include "command_line.h"
#include "file_list.h"
#include "exif_orientation.h"
#include "json_lines.h"
#include "messages.h"
#include "run_steps.h"
#include "look_text.h"

#include "file_io.h"
#include "path_text.h"
#include "hostile_corpus.h"
#include "picture_files.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <sstream>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tollamere {
namespace {

namespace fs = std::filesystem;

// The options that differ from the defaults, in a fixed order, so a row can
// state a whole parse in one string.
std::string Describe(const CliOptions& o)
{
    const CliOptions d;
    const OutputOptions& out = o.output;
    std::string paths;
    for (const std::string& path : o.paths)
        paths += (paths.empty() ? "" : ",") + path;
    // The look's choices that differ, as "look=technique:smooth,depth:50".
    std::string look;
    const auto given = LookChoiceTexts(o.look);
    const auto defaults = LookChoiceTexts(d.look);
    for (std::size_t i = 0; i < given.size(); ++i) {
        if (given[i] != defaults[i])
            look += (look.empty() ? "" : ",") + given[i].first + ":" + given[i].second;
    }
    const std::pair<std::string, bool> items[] = {
        {"output=" + o.outputFolder, o.outputFolder != d.outputFolder},
        {"size=" + o.bevelSize, o.bevelSize != d.bevelSize},
        {"angle=" + o.lightAngle, o.lightAngle != d.lightAngle},
        {"elevation=" + o.lightElevation, o.lightElevation != d.lightElevation},
        {"ext=" + o.extension, o.extension != d.extension},
        {"jobs=" + std::to_string(o.jobs), o.jobs != 0},
        {"max-memory=" + std::to_string(o.maxMemoryMiB), o.maxMemoryMiB != 0},
        {"look=" + look, !look.empty()},
        {"keep-folders", out.structure == OutputOptions::Structure::KeepFolders},
        {"name=" + out.namePattern, out.namePattern != d.output.namePattern},
        {"overwrite=skip", out.overwrite == OutputOptions::Overwrite::Skip},
        {"overwrite=rename", out.overwrite == OutputOptions::Overwrite::Rename},
        {"format=" + out.format, !out.format.empty()},
        {"quality=" + std::to_string(out.quality.value_or(-1)), out.quality.has_value()},
        {"png-level=" + std::to_string(out.pngLevel.value_or(-1)), out.pngLevel.has_value()},
        {"strip", out.stripMetadata},
        {"files-from=" + o.filesFrom, !o.filesFrom.empty()},
        {"null", o.nullSeparated},
        {"json", o.json},
        {"quiet", o.quiet},
        {"verbose", o.verbose},
        {"help", o.help},
        {"version", o.version},
        {"paths=" + paths, !paths.empty()},
    };
    std::string text;
    for (const auto& [item, differs] : items) {
        if (differs)
            text += (text.empty() ? "" : " ") + item;
    }
    return text;
}

TEST(CommandLineTest, ReadsEveryFormOfTheOptions)
{
    const struct {
        std::vector<std::string> arguments;
        std::string options;
    } rows[] = {
        {{"-o", "out", "-s7", "-a", "90", "--elevation=45", "-x", "png", "-qj3", "--max-memory", "1048576", "-v",
          "a.png", "--", "-odd.png"},
         "output=out size=7 angle=90 elevation=45 ext=png jobs=3 max-memory=1048576 quiet verbose paths=a.png,-odd.png"},
        {{"in"}, "paths=in"},
        {{"-s", "9", "in"}, "size=9 paths=in"},
        {{"-s9", "in"}, "size=9 paths=in"},
        {{"-s=9", "in"}, "size=9 paths=in"},
        {{"--size=9", "in"}, "size=9 paths=in"},
        {{"--size", "9", "in"}, "size=9 paths=in"},
        {{"-vqs9", "in"}, "size=9 quiet verbose paths=in"},
        {{"-a", "-45", "in"}, "angle=-45 paths=in"},
        {{"in", "-q", "out"}, "quiet paths=in,out"},
        // The last of a value given twice wins.
        {{"-s", "3", "--size=4", "-o", "a", "-o", "b", "-j1", "-j2", "in"}, "output=b size=4 jobs=2 paths=in"},
        {{"--max-memory=1", "in"}, "max-memory=1 paths=in"},
        {{"--keep-folders", "--name", "{n}-{name}", "--overwrite", "skip", "--format", "webp", "--quality", "80",
          "--png-level=0", "--strip", "in"},
         "keep-folders name={n}-{name} overwrite=skip format=webp quality=80 png-level=0 strip paths=in"},
        {{"--overwrite=rename", "--quality=1", "--png-level", "9", "in"},
         "overwrite=rename quality=1 png-level=9 paths=in"},
        {{"--files-from", "-", "-0", "--json"}, "files-from=- null json"},
        {{"-q0", "--files-from=list", "in"}, "files-from=list null quiet paths=in"},
        {{"--help"}, "help"},
        {{"--version"}, "version"},
        {{"--technique", "chisel", "--profile=ridge", "--depth", "1000", "--direction", "down", "--soften=64",
          "--shape", "luma:255", "in"},
         "look=technique:chisel,profile:ridge,depth:1000,direction:down,soften:64,shape:luma:255 paths=in"},
        {{"--technique=smooth", "--shape", "alpha", "--depth", "0", "in"},
         "look=technique:smooth,depth:0,shape:alpha paths=in"},
        {{"--technique", "chisel", "--style", "pillow", "in"}, "look=technique:chisel,style:pillow paths=in"},
        {{"--technique=smooth", "--style=outer", "--direction", "down", "in"},
         "look=technique:smooth,direction:down,style:outer paths=in"},
        {{"--technique=smooth", "--style=emboss", "--style", "inner", "in"}, "look=technique:smooth paths=in"},
        {{"--technique=smooth", "--highlight", "#fc0@80:screen", "--shadow=blue:overlay", "in"},
         "look=technique:smooth,highlight:#ffcc00@80:screen,shadow:#0000ff@100:overlay paths=in"},
        {{"--technique=chisel", "--highlight", "red", "--shadow=#123456@0:multiply", "in"},
         "look=technique:chisel,highlight:#ff0000@100:normal,shadow:#123456@0:multiply paths=in"},
        // A look gives what the other options do not.
        {{"--look", "glass pill", "-s", "3", "--depth", "50", "--shadow", "black", "in"},
         "size=3 elevation=50 look=technique:smooth,profile:round,depth:50,highlight:#e8f4ff@100:screen paths=in"},
        // The classic technique named as such is the default.
        {{"--technique", "classic", "in"}, "paths=in"},
        // The margin and the shadow go with every technique; the shape
        // source, given with the classic one, makes the shadow's shape.
        {{"--margin", "10", "--drop-shadow", "4,4,6", "in"}, "look=margin:10,drop-shadow:4,4,6,#000000@60 paths=in"},
        {{"--margin=4096", "--drop-shadow=-4096,0,512,#F80@0", "--shape", "alpha", "in"},
         "look=shape:alpha,margin:4096,drop-shadow:-4096,0,512,#ff8800@0 paths=in"},
        {{"--technique=chisel", "--drop-shadow", "0,-3,0,white@100", "in"},
         "look=technique:chisel,drop-shadow:0,-3,0,#ffffff@100 paths=in"},
        {{"--drop-shadow", "1,2,3", "--drop-shadow=none", "--margin", "0", "in"}, "paths=in"},
        // Bytes that are not UTF-8 reach the options unchanged.
        {{"-o", "\xFF", "--name", "\xFF{name}", "\xFF.png", "--", "\xC3\xA9\xFF"},
         "output=\xFF name=\xFF{name} paths=\xFF.png,\xC3\xA9\xFF"},
    };
    for (const auto& row : rows) {
        std::string error;
        const std::optional<CliOptions> options = ParseCommandLine(row.arguments, error);
        ASSERT_TRUE(options) << row.options << ": " << error;
        EXPECT_EQ(Describe(*options), row.options);
    }
}

// Each effect text is read into its own parameter, as the run reads it.
TEST(CommandLineTest, EffectTextsAreReadIntoTheParameters)
{
    std::string error;
    const std::optional<CliOptions> given = ParseCommandLine({"-s", "4.5", "-a", "22.5", "-e", "60", "in"}, error);
    ASSERT_TRUE(given) << error;
    const BevelParameters expected = ParseBevelParameters("4.5", "22.5", "60", ".");
    EXPECT_EQ(given->parameters.bevelSize, expected.bevelSize);
    EXPECT_EQ(given->parameters.lightAngle, expected.lightAngle);
    EXPECT_EQ(given->parameters.lightElevation, expected.lightElevation);
    const std::optional<CliOptions> defaults = ParseCommandLine({"in"}, error);
    ASSERT_TRUE(defaults) << error;
    EXPECT_EQ(defaults->parameters.bevelSize, 5);
    EXPECT_EQ(defaults->parameters.lightAngle, ParseBevelParameters("5", "135", "30", ".").lightAngle);
    EXPECT_EQ(defaults->parameters.lightElevation, ParseBevelParameters("5", "135", "30", ".").lightElevation);
}

TEST(CommandLineTest, RefusesUsageErrorsWithTheReason)
{
    const std::string jobs = "--jobs needs a whole number from 1 to 1024, not ";
    const std::string memory = "--max-memory needs a whole number of MiB from 1 to 1048576, not ";
    const std::string size = "--size needs a bevel size from 0 to 254, not ";
    const std::string angle = "needs degrees few enough to give the light a direction, not ";
    const std::string quality = "--quality needs a whole number from 1 to 100, not ";
    const std::string level = "--png-level needs a whole number from 0 to 9, not ";
    const std::string shadow = "--drop-shadow needs DX,DY,BLUR[,COLOUR]: offsets from -4096 to 4096 and a blur radius "
                               "from 0 to 512, in whole pixels, not ";
    const std::string colour = "--drop-shadow colour takes #rrggbb, #rgb, black, white, grey, red, green or blue, then "
                               "@OPACITY if wanted, a whole percent from 0 to 100, not ";
    const struct {
        std::vector<std::string> arguments;
        std::string error;
    } rows[] = {
        {{}, "no files or folders to convert"},
        {{"-o"}, "missing value after '-o'"},
        {{"a.png", "--max-memory"}, "missing value after '--max-memory'"},
        {{"--bogus", "a.png"}, "unknown option --bogus"},
        {{"-qz", "a.png"}, "unknown option -z"},
        {{"--z=1", "a.png"}, "unknown option --z"},
        {{"--\xFF", "a.png"}, "unknown option --\\xFF"},
        {{"--quiet=yes", "a.png"}, "unexpected value after '--quiet'"},
        {{"-j", "0", "a.png"}, jobs + "\"0\""},
        {{"-j", "1025", "a.png"}, jobs + "\"1025\""},
        {{"-j", "", "a.png"}, jobs + "\"\""},
        {{"-j", "-1", "a.png"}, jobs + "\"-1\""},
        {{"-j", "+2", "a.png"}, jobs + "\"+2\""},
        {{"-j", "4294967297", "a.png"}, jobs + "\"4294967297\""},
        {{"--max-memory", "1048577", "a.png"}, memory + "\"1048577\""},
        {{"--max-memory=12MB", "a.png"}, memory + "\"12MB\""},
        {{"--max-memory", "18446744073709551617", "a.png"}, memory + "\"18446744073709551617\""},
        {{"-x", "", "a.png"}, "--ext needs an extension, or * for every picture file"},
        {{"-s", "abc", "a.png"}, "--size needs a number, not \"abc\""},
        {{"-s", "", "a.png"}, "--size needs a number, not \"\""},
        {{"-s", "255", "a.png"}, size + "\"255\""},
        {{"-s", "-1", "a.png"}, size + "\"-1\""},
        {{"-s", "1e300", "a.png"}, size + "\"1e300\""},
        {{"-a", "north", "a.png"}, "--angle needs a number, not \"north\""},
        {{"-a", "1e308", "a.png"}, "--angle " + angle + "\"1e308\""},
        {{"-a", "5.8e307", "a.png"}, "--angle " + angle + "\"5.8e307\""},
        {{"-e", "1e999", "a.png"}, "--elevation " + angle + "\"1e999\""},
        {{"--quality", "101", "a.png"}, quality + "\"101\""},
        {{"--quality", "2147483648", "a.png"}, quality + "\"2147483648\""},
        {{"--quality", "80%", "a.png"}, quality + "\"80%\""},
        {{"--quality=", "a.png"}, quality + "\"\""},
        {{"--png-level", "10", "a.png"}, level + "\"10\""},
        {{"--overwrite", "Skip", "a.png"}, "--overwrite takes replace, skip or rename, not \"Skip\""},
        {{"--format", "bogus", "a.png"}, "no picture format this program writes is known as \"bogus\""},
        {{"--format=", "a.png"}, "--format needs an extension, such as png or jpg"},
        {{"--format", "png,,webp", "a.png"}, "--format needs an extension, such as png or jpg"},
        {{"--format", "png,PNG,png", "a.png"}, "--format gives \"png\" twice"},
        {{"--scale", "2", "a.png"}, "--scale takes scales such as 1x,2x,3x (0.01x to 16x), not \"2\""},
        {{"--scale", "1x,17x", "a.png"}, "--scale takes scales such as 1x,2x,3x (0.01x to 16x), not \"17x\""},
        {{"--scale", "2x,2.0x", "a.png"}, "--scale gives the scale 2.0x twice"},
        {{"--width", "0", "a.png"}, "--width needs a whole number of pixels from 1 to 65535, not \"0\""},
        {{"--height", "64px", "a.png"}, "--height needs a whole number of pixels from 1 to 65535, not \"64px\""},
        {{"--ico-sizes", "16,257", "a.png"}, "--ico-sizes needs a whole number of pixels from 1 to 256, not \"257\""},
        {{"--ico-sizes", "16,16", "a.png"}, "--ico-sizes gives 16 twice"},
        {{"--name", "", "a.png"}, "the name pattern is empty"},
        {{"--name", "\xFF/{name}", "a.png"},
         "the name pattern \"\\xFF/{name}\" holds a \"/\"; it names a file, not a folder"},
        {{"--name", "{nam}", "a.png"}, "the name pattern \"{nam}\" has a \"{\" that does not belong to {name}, {ext}, {n} or {scale}"},
        {{"--name", ".", "a.png"}, "the name pattern \".\" makes names that start with \".\", which folder scans skip"},
        {{"--name", "~{name}", "a.png"}, "the name pattern \"~{name}\" makes names that start with \"~\", which folder scans skip"},
        // Standard input holds one picture, standard output takes one.
        {{"-", "--", "-"}, "\"-\" is given twice; standard input holds one picture"},
        {{"-", "--files-from", "-"}, "a picture on standard input (\"-\") and --files-from - cannot both be used"},
        {{"-o", "-", "a.png"}, "-o - needs --format, as no file name gives the picture's format"},
        {{"--json", "-o", "-", "--format", "png", "-"}, "--json and -o - cannot share standard output"},
        {{"-o", "-", "--format", "png,webp", "-"}, "-o - writes one picture: one format and one scale"},
        {{"a.png", ""}, "an empty argument is not a path"},
        {{"--files-from", "a", "--files-from=b"}, "--files-from is given twice; put every path in one list"},
        {{"--files-from="}, "--files-from needs a file, or - for standard input"},
        {{"-0", "a.png"}, "--null goes with --files-from"},
        {{"--technique", "Smooth", "a.png"}, "--technique takes classic, smooth or chisel, not \"Smooth\""},
        {{"--technique=smooth", "--profile", "flat", "a.png"},
         "--profile takes linear, round, cove or ridge, not \"flat\""},
        {{"--technique=smooth", "--style", "Outer", "a.png"},
         "--style takes inner, outer, emboss or pillow, not \"Outer\""},
        {{"--technique=chisel", "--style=", "a.png"}, "--style takes inner, outer, emboss or pillow, not \"\""},
        {{"--technique=smooth", "--depth", "1001", "a.png"},
         "--depth needs a whole number of percent from 0 to 1000, not \"1001\""},
        {{"--technique=smooth", "--soften", "-1", "a.png"},
         "--soften needs a whole number of pixels from 0 to 64, not \"-1\""},
        {{"--technique=smooth", "--soften", "+2", "a.png"},
         "--soften needs a whole number of pixels from 0 to 64, not \"+2\""},
        {{"--technique=smooth", "--shape", "luma:", "a.png"},
         "--shape takes green, alpha or luma:N with N a whole number from 0 to 255, not \"luma:\""},
        {{"--technique=smooth", "--shape", "luma:256", "a.png"},
         "--shape takes green, alpha or luma:N with N a whole number from 0 to 255, not \"luma:256\""},
        {{"--look", "nope", "a.png"}, "--look: no look is named \"nope\", and no file either"},
        {{"--margin", "4097", "a.png"}, "--margin needs a whole number of pixels from 0 to 4096, not \"4097\""},
        {{"--margin", "-1", "a.png"}, "--margin needs a whole number of pixels from 0 to 4096, not \"-1\""},
        {{"--drop-shadow", "4,4", "a.png"}, shadow + "\"4,4\""},
        {{"--drop-shadow", "4,4,513", "a.png"}, shadow + "\"4,4,513\""},
        {{"--drop-shadow", "4,-4097,6", "a.png"}, shadow + "\"4,-4097,6\""},
        {{"--drop-shadow", "4,+4,6", "a.png"}, shadow + "\"4,+4,6\""},
        {{"--drop-shadow", "4,4,-6", "a.png"}, shadow + "\"4,4,-6\""},
        {{"--drop-shadow", "4,4,6,", "a.png"}, colour + "\"4,4,6,\""},
        {{"--drop-shadow", "4,4,6,#12345", "a.png"}, colour + "\"4,4,6,#12345\""},
        {{"--drop-shadow", "4,4,6,black@101", "a.png"}, colour + "\"4,4,6,black@101\""},
        {{"--technique=smooth", "--highlight", "red:dodge", "a.png"},
         "--highlight mode takes normal, screen, multiply or overlay, not \"red:dodge\""},
        {{"--technique=smooth", "--shadow", "#12@5", "a.png"},
         "--shadow takes #rrggbb, #rgb, black, white, grey, red, green or blue, then @OPACITY if wanted, a whole "
         "percent from 0 to 100, then :MODE if wanted, not \"#12@5\""},
        // Options that the classic technique would drop without a word.
        {{"--highlight", "red", "a.png"},
         "--highlight shapes the smooth and chisel techniques only; add --technique smooth or chisel"},
        {{"--look", "Chiselled plate", "--technique", "classic", "--depth", "50", "a.png"},
         "--depth shapes the smooth and chisel techniques only; add --technique smooth or chisel"},
        {{"--direction", "down", "--soften", "2", "a.png"},
         "--direction shapes the smooth and chisel techniques only; add --technique smooth or chisel"},
        {{"--style", "emboss", "a.png"},
         "--style shapes the smooth and chisel techniques only; add --technique smooth or chisel"},
        {{"--shape", "alpha", "--technique", "classic", "a.png"},
         "--shape shapes the smooth and chisel techniques only; add --technique smooth or chisel"},
    };
    for (const auto& row : rows) {
        std::string error;
        EXPECT_FALSE(ParseCommandLine(row.arguments, error)) << row.error;
        EXPECT_EQ(error, row.error);
    }
}

TEST(FileListTest, SplitsAtTheSeparatorOnly)
{
    using namespace std::string_literals;
    const struct {
        std::string bytes;
        bool nullSeparated;
        std::vector<std::string> paths;
    } rows[] = {
        {"a.png\nin/b c.png\n", false, {"a.png", "in/b c.png"}},
        {"a.png", false, {"a.png"}},
        {"\n\na.png\n\n\nb.png", false, {"a.png", "b.png"}},
        // A "\r" is a byte of the name: a list from another system names
        // files that do not exist, and the run says so.
        {"a.png\r\nb.png\r\n", false, {"a.png\r", "b.png\r"}},
        {"\xFF.png\n \n", false, {"\xFF.png", " "}},
        {"a.png\0b\nc.png\0\0"s, true, {"a.png", "b\nc.png"}},
        {"a.png\0b.png"s, true, {"a.png", "b.png"}},
        {"", false, {}},
        {"\0\0"s, true, {}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(SplitFileList(row.bytes, row.nullSeparated), row.paths) << Printable(row.bytes);
}

// Read whole or a byte at a time, a list gives the same paths and fails at
// the same entry: the first longer than a path may be, or holding a NUL.
TEST(FileListTest, EntryThatCannotBeAPathFailsTheListWithItsNumber)
{
    using namespace std::string_literals;
    using Fault = FileListSplitter::Fault;
    const struct {
        std::string bytes;
        bool nullSeparated;
        Fault fault;
        std::size_t failingEntry;
        std::vector<std::string> paths;
    } rows[] = {
        {"abc\n\nab\n", false, Fault::None, 0, {"abc", "ab"}},
        {"abc", false, Fault::None, 0, {"abc"}},
        {"ab\n\n\nabcd\n", false, Fault::LongerThanAPath, 4, {}},
        {"abcd", false, Fault::LongerThanAPath, 1, {}},
        {"a\0\0\0b\nc\0abcd"s, true, Fault::LongerThanAPath, 5, {}},
        {"a\0\0\0abc"s, true, Fault::None, 0, {"a", "abc"}},
        {"a\n\nb\0c\n"s, false, Fault::HoldsNul, 3, {}},
    };
    for (const auto& row : rows) {
        FileListSplitter whole(row.nullSeparated, 3);
        FileListSplitter bytewise(row.nullSeparated, 3);
        Fault bytewiseFault = Fault::None;
        for (std::size_t i = 0; i < row.bytes.size() && bytewiseFault == Fault::None; ++i)
            bytewiseFault = bytewise.Take(std::string_view(row.bytes).substr(i, 1));
        EXPECT_EQ(whole.Take(row.bytes), row.fault) << Printable(row.bytes);
        EXPECT_EQ(bytewiseFault, row.fault) << Printable(row.bytes);
        if (row.fault != Fault::None) {
            EXPECT_EQ(whole.Entry(), row.failingEntry) << Printable(row.bytes);
            EXPECT_EQ(bytewise.Entry(), row.failingEntry) << Printable(row.bytes);
        } else {
            EXPECT_EQ(whole.Finish(), row.paths) << Printable(row.bytes);
            EXPECT_EQ(bytewise.Finish(), row.paths) << Printable(row.bytes);
        }
    }
}

TEST(JsonLinesTest, StringsAreEscapedAndStayValidUtf8)
{
    const struct {
        std::string bytes;
        std::string json;
    } rows[] = {
        {"in/a.png", "\"in/a.png\""},
        {"say \"hi\"\\now", "\"say \\\"hi\\\"\\\\now\""},
        {"tab\there\nend\x1F\x7F", "\"tab\\u0009here\\u000Aend\\u001F\x7F\""},
        {"caf\xC3\xA9 \xE2\x82\xAC", "\"caf\xC3\xA9 \xE2\x82\xAC\""},
        {"\xFF.png", "\"\\\\xFF.png\""},
        {"\xED\xA0\x80.png", "\"\\\\xED\\\\xA0\\\\x80.png\""},
        {"", "\"\""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(JsonString(row.bytes), row.json) << Printable(row.bytes);
}

TEST(JsonLinesTest, Base64CarriesEveryByte)
{
    const std::pair<std::string, std::string> rows[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"caf\xE9", "Y2Fm6Q=="}, {std::string("\xFF\xFE\x00", 3), "//4A"},
    };
    for (const auto& [bytes, text] : rows)
        EXPECT_EQ(Base64(bytes), text) << Printable(bytes);
}

// The run's typed failures in the command line's words, the input's name
// taken out of them (the message puts it in front, once).
TEST(MessagesTest, FailuresAreSaidInTheCommandLinesWords)
{
    const std::string in = "/in/x\xFF.png";
    const std::string shown = "/in/x\\xFF.png";
    const struct {
        int line;
        ErrorNumber number;
        std::string description;
        bool refused;
        std::string words;
    } rows[] = {
        {LineLoad, ErrorNumber::FileNotFound, "File not found: " + shown, false, "no such file"},
        {LineLoad, ErrorNumber::PermissionDenied, "Permission denied: cannot read " + shown, false, "permission denied"},
        {LineLoad, ErrorNumber::PathFileAccessError, "Path/File access error: " + shown + " is a folder", false,
         "is a folder"},
        {LineLoad, ErrorNumber::PathFileAccessError,
         "Path/File access error: cannot read " + shown + ": Input/output error", false,
         "cannot read this file: Input/output error"},
        {LineLoad, ErrorNumber::InvalidPicture, "Invalid picture: not a picture in a format this program reads", false,
         "not a picture this program reads"},
        {LineLoad, ErrorNumber::InvalidPicture, "Invalid picture: the file is empty", false, "empty file"},
        {LineLoad, ErrorNumber::InvalidPicture, "Invalid picture: truncated BMP header", false,
         "damaged picture: truncated BMP header"},
        {LineLoad, ErrorNumber::OutOfMemory,
         "Out of memory: " + shown + " holds a picture of 9 x 9 pixels, which needs about 2 MiB, beyond the 1 MiB this run may take",
         false, "too large: a picture of 9 x 9 pixels, which needs about 2 MiB, beyond the 1 MiB this run may take"},
        {LineLoad, ErrorNumber::OutOfMemory, "Out of memory: no memory to read " + shown, false,
         "too large: no memory to read this file"},
        {LineSaveOther, ErrorNumber::PathFileAccessError, "Path/File access error: cannot write /out/x.png: the disk is full",
         false, "cannot write /out/x.png: the disk is full"},
        {LineSaveOther, ErrorNumber::PermissionDenied, "Permission denied: cannot write in the folder /out", false,
         "cannot write in the folder /out"},
        {LineSaveOther, ErrorNumber::PathFileAccessError,
         "Path/File access error: /out/x.png is written from /in/y.png in this run; " + shown + " would overwrite it", true,
         "/out/x.png is written from /in/y.png in this run; this file would overwrite it"},
        {LineBevel, ErrorNumber::OutOfMemory, "Out of memory", false, "out of memory"},
        {LineSaveJpeg, ErrorNumber::InvalidProcedureCall,
         "Cannot save the image. GDI+ Error:7: cannot write /out/x.jpg: No space left on device", false,
         "cannot write /out/x.jpg: No space left on device"},
    };
    for (const auto& row : rows) {
        ConversionFailure failure;
        failure.inputPath = in;
        failure.lineNumber = row.line;
        failure.number = row.number;
        failure.description = row.description;
        failure.refused = row.refused;
        const std::string words = FailureWords(failure);
        EXPECT_EQ(words, row.words) << row.description;
        EXPECT_EQ(Message(in, words), "tollamere-cli: " + shown + ": " + row.words + "\n");
    }
}

std::string ReadWhole(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

struct Result {
    int exitCode = -1;
    std::string output;
    std::string errors;
};

// One report line read back with Qt's JSON parser. A name is its bytes:
// those of "input_base64" when the line has it.
struct JsonItem {
    std::string input;
    std::optional<std::string> output;
    std::string outcome;
    std::optional<std::string> reason;
    double milliseconds = -1;
};

struct JsonSummary {
    int written = -1;
    int skipped = -1;
    int failed = -1;
    bool stopped = true;
    double seconds = -1;
};

std::optional<std::string> TextOrNull(const QJsonValue& value)
{
    if (value.isNull())
        return std::nullopt;
    return value.toString().toStdString();
}

// The name's bytes: its text, or the bytes of its base64 field, which must
// be there exactly when the bytes are not UTF-8.
std::optional<std::string> NameBytes(const QJsonObject& object, const QString& field)
{
    const QString raw = field + "_base64";
    if (!object.contains(raw))
        return TextOrNull(object[field]);
    const std::string bytes = QByteArray::fromBase64(object[raw].toString().toLatin1()).toStdString();
    EXPECT_FALSE(IsValidUtf8(bytes)) << "base64 for a UTF-8 name: " << Printable(bytes);
    EXPECT_EQ(object[field].toString().toStdString(), Printable(bytes));
    return bytes;
}

// Every line of standard output must be one object of version 1 with exactly
// an item's fields (and a name's base64 where it is not UTF-8), of their
// types, but the last, the summary; anything else fails the test.
std::vector<JsonItem> ReadJsonLines(const std::string& output, JsonSummary* summary = nullptr)
{
    std::vector<JsonItem> items;
    std::istringstream lines(output);
    bool summed = false;
    for (std::string line; std::getline(lines, line);) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
        const QJsonObject object = document.object();
        EXPECT_FALSE(summed) << "a line after the summary: " << line;
        EXPECT_EQ(object["version"].toInt(), 1) << line;
        if (object["record"] == "summary") {
            summed = true;
            EXPECT_EQ(object.keys(), (QStringList{"failed", "record", "seconds", "skipped", "stopped", "version", "written"}))
                << line;
            if (summary != nullptr)
                *summary = {object["written"].toInt(-1), object["skipped"].toInt(-1), object["failed"].toInt(-1),
                            object["stopped"].toBool(true), object["seconds"].toDouble(-1)};
            continue;
        }
        EXPECT_EQ(object["record"], "item") << line;
        QStringList keys = object.keys();
        keys.removeAll("input_base64");
        keys.removeAll("output_base64");
        EXPECT_EQ(keys, (QStringList{"input", "milliseconds", "outcome", "output", "reason", "record", "version"})) << line;
        EXPECT_TRUE(object["input"].isString() && object["outcome"].isString() && object["milliseconds"].isDouble())
            << line;
        EXPECT_TRUE(object["output"].isString() || object["output"].isNull()) << line;
        EXPECT_TRUE(object["reason"].isString() || object["reason"].isNull()) << line;
        items.push_back({NameBytes(object, "input").value_or(""), NameBytes(object, "output"),
                         object["outcome"].toString().toStdString(), TextOrNull(object["reason"]),
                         object["milliseconds"].toDouble()});
    }
    EXPECT_TRUE(output.empty() || (output.back() == '\n' && summed)) << output;
    return items;
}

// The observer says each failure once, and gives its reason to that item's
// JSON line only: an item of the same number in a watch's next batch has
// none of it.
TEST(CliObserverTest, EachItemKeepsItsOwnReason)
{
    std::FILE* messages = std::tmpfile();
    ASSERT_NE(messages, nullptr);
    CliObserver observer({messages, false, true, false, true, {}}, std::stop_source{});
    ConversionFailure failure;
    failure.inputPath = "/in/a.png";
    failure.lineNumber = LineLoad;
    failure.number = ErrorNumber::FileNotFound;
    failure.description = "File not found: /in/a.png";
    ItemResult failed;
    failed.inputPath = "/in/a.png";
    ItemResult written;
    written.inputPath = "/in/b.png";
    written.outputPath = "/out/b.png";
    written.outcome = ItemResult::Outcome::Written;
    testing::internal::CaptureStdout();
    observer.Failure(failure);
    observer.Finished(failed);
    observer.Finished(written);
    observer.Report(JsonSummaryLine({}));
    const std::vector<JsonItem> items = ReadJsonLines(testing::internal::GetCapturedStdout());
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].reason, std::optional<std::string>("no such file"));
    EXPECT_EQ(items[1].reason, std::nullopt);
    std::rewind(messages);
    char said[256] = {};
    EXPECT_EQ(std::string(said, std::fread(said, 1, sizeof said, messages)),
              "tollamere-cli: /in/a.png: no such file\n/in/b.png -> /out/b.png, 0 ms\n");
    std::fclose(messages);
}

Picture Button(std::int32_t size)
{
    Picture button(size, size, 0xFF000000u);
    for (std::int32_t y = size / 6; y < size - size / 6; ++y)
        for (std::int32_t x = size / 6; x < size - size / 5; ++x)
            button.Pixel(x, y) = 0xFF000000u | std::uint32_t(x * 0x10301 + y * 0x207);
    return button;
}

class CliEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = fs::temp_directory_path() / ("tollamere-cli-" + std::to_string(std::random_device{}()));
        fs::create_directories(root_ / "in" / "deeper");
        fs::create_directories(root_ / "out");
        const Picture button = Button(20);
        SavePictureFile(button, false, root_ / "in" / "a.png");
        SavePictureFile(button, false, root_ / "in" / "deeper" / "b.JPG");
        SavePictureFile(button, false, root_ / "in" / "deeper" / "c.bmp");
        std::ofstream(root_ / "in" / "notes.txt") << "not a picture";
    }
    void TearDown() override { fs::remove_all(root_); }

    static std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

    // Runs the program through the shell, so arguments may hold any byte,
    // with input as its standard input.
    Result RunCli(const std::string& arguments, const std::string& input = "") const
    {
        std::ofstream(root_ / "stdin", std::ios::binary) << input;
        const std::string command = std::string(TOLLAMERE_CLI) + " " + arguments + " <" + Quoted(root_ / "stdin") +
                                    " >" + Quoted(root_ / "stdout") + " 2>" + Quoted(root_ / "stderr");
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadWhole(root_ / "stdout"), ReadWhole(root_ / "stderr")};
    }

    std::string Out() const { return Quoted(root_ / "out"); }

    // The outputs' names, folders included, relative to out/.
    std::set<std::string> Outputs() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(root_ / "out")) {
            if (entry.is_regular_file())
                names.insert(entry.path().lexically_relative(root_ / "out").string());
        }
        return names;
    }

    fs::path root_;
};

TEST_F(CliEndToEndTest, ConvertsFoldersAndFiles)
{
    const Result all = RunCli("-q -o " + Out() + " " + Quoted(root_ / "in"));
    EXPECT_EQ(all.exitCode, 0) << all.errors;
    EXPECT_EQ(Outputs(), (std::set<std::string>{"a.png", "b.jpg", "c.bmp"}));
    EXPECT_EQ(all.output, "");
    fs::remove_all(root_ / "out");
    fs::create_directories(root_ / "out");

    const Result bitmaps = RunCli("-q --ext bmp -o " + Out() + " " + Quoted(root_ / "in"));
    EXPECT_EQ(bitmaps.exitCode, 0) << bitmaps.errors;
    EXPECT_EQ(Outputs(), (std::set<std::string>{"c.bmp"}));
}

// The look reaches every item, the JPEG too (which the classic effect
// bevels on its own surface): each output is the input bevelled with it.
TEST_F(CliEndToEndTest, TheLookReachesEveryItem)
{
    const Result run = RunCli("-q -s 4 --technique chisel --direction down --format png -j 2 -o " + Out() + " " +
                              Quoted(root_ / "in"));
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    BevelLook look;
    look.technique = BevelTechnique::Chisel;
    look.direction = BevelDirection::Down;
    for (const std::string name : {"a.png", "deeper/b.JPG", "deeper/c.bmp"}) {
        const fs::path input = root_ / "in" / name;
        PictureFile expected = LoadPictureFile(input);
        ApplyBevel(expected.picture, expected.picture, ParseBevelParameters("4", "135", "30", "."), look);
        const PictureFile written = LoadPictureFile(root_ / "out" / input.filename().replace_extension(".png"));
        EXPECT_TRUE(written.picture == expected.picture) << name;
    }
}

// A margin and a shadow: the PNG grows by the margin on every side, the
// margin transparent but for the shadow, which falls below right.
TEST_F(CliEndToEndTest, TheMarginHoldsTheShadowBelowRight)
{
    const Result run = RunCli("-q --margin 10 --drop-shadow 4,4,6 -o " + Out() + " " + Quoted(root_ / "in" / "a.png"));
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const PictureFile written = LoadPictureFile(root_ / "out" / "a.png");
    ASSERT_EQ(written.picture.Width(), 40);
    ASSERT_EQ(written.picture.Height(), 40);
    ASSERT_TRUE(written.hasAlpha);
    // The largest alpha in each margin, and the picture's opaque middle.
    std::uint32_t left = 0, top = 0, right = 0, bottom = 0;
    for (std::int32_t i = 0; i < 40; ++i) {
        for (std::int32_t j = 0; j < 10; ++j) {
            left = std::max(left, written.picture.Pixel(j, i) >> 24);
            top = std::max(top, written.picture.Pixel(i, j) >> 24);
            right = std::max(right, written.picture.Pixel(30 + j, i) >> 24);
            bottom = std::max(bottom, written.picture.Pixel(i, 30 + j) >> 24);
        }
    }
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(top, 0u);
    EXPECT_GT(right, 20u);
    EXPECT_GT(bottom, 20u);
    EXPECT_LE(std::max(right, bottom), 153u);  // black at 60 %
    EXPECT_EQ(written.picture.Pixel(20, 20) >> 24, 0xFFu);
}

// A usage error is found before anything is touched: one reason, one hint,
// exit status 2, and an output folder left as it was.
TEST_F(CliEndToEndTest, UsageErrorsExitWithTwoAndTouchNothing)
{
    const std::string in = Quoted(root_ / "in");
    const std::string missing = Quoted(root_ / "missing");
    // A run would remove this as the leftover of a killed write.
    const std::string stale = ".tollamere-0123456789ab.tmp";
    ASSERT_TRUE(IsTemporaryFileName(stale));
    std::ofstream(root_ / "out" / stale) << "left by a killed run";
    fs::last_write_time(root_ / "out" / stale, fs::file_time_type::clock::now() - std::chrono::hours(24));
    const fs::path longLine = root_ / "long";
    std::ofstream(longLine) << root_.string() << "/in/a.png\n\n" << std::string(PATH_MAX, 'x') << "\n";
    const std::string pathLimit = "longer than the " + std::to_string(PATH_MAX - 1) + " bytes a path may have";
    const fs::path dashList = root_ / "dash.list";
    std::ofstream(dashList) << "-\n";
    const struct {
        std::string arguments;
        std::string error;
    } rows[] = {
        {"", "no files or folders to convert"},
        {"--frobnicate " + in, "unknown option --frobnicate"},
        {"-s abc " + in, "--size needs a number, not \"abc\""},
        {"--name '{x}' " + in, "the name pattern \"{x}\" has a \"{\" that does not belong to {name}, {ext}, {n} or {scale}"},
        {"--format png -o - " + in, "-o - writes one picture, and 3 were found"},
        {"--files-from " + Quoted(dashList), "the list " + dashList.string() +
                                                ": \"-\" is not a path here; a file named \"-\" is listed as \"./-\""},
        {"--files-from " + missing, "cannot read the list " + (root_ / "missing").string() + ": no such file or directory"},
        {"--files-from " + Quoted(root_ / "in"), "cannot read the list " + (root_ / "in").string() + ": is a directory"},
        {"--files-from " + Quoted(longLine), "the list " + longLine.string() + ", line 3: " + pathLimit},
        // Endless lists end at the first overlong path, or at the cap.
        {"--files-from /dev/zero", "the list /dev/zero, line 1: " + pathLimit},
        {"-0 --files-from /dev/zero", "the list /dev/zero holds more than 256 MiB, the most a list may hold"},
    };
    for (const auto& row : rows) {
        const Result result = RunCli("-o " + Out() + " " + row.arguments);
        EXPECT_EQ(result.exitCode, 2) << row.arguments;
        EXPECT_EQ(result.errors, "tollamere-cli: " + row.error + "\nTry 'tollamere-cli --help' for more.\n");
        EXPECT_EQ(result.output, "") << row.arguments;
    }
    const Result noFolder = RunCli("-o " + missing + " " + in);
    EXPECT_EQ(noFolder.exitCode, 2);
    EXPECT_EQ(noFolder.errors, "tollamere-cli: " + (root_ / "missing").string() + ": no such folder\n");
    // A folder without pictures is no usage error, and nothing failed.
    fs::create_directories(root_ / "empty");
    const Result empty = RunCli("-o " + Out() + " " + Quoted(root_ / "empty"));
    EXPECT_EQ(empty.exitCode, 0);
    EXPECT_EQ(empty.errors, "0 of 0 file(s) written to " + (root_ / "out").string() + "\n");
    EXPECT_EQ(Outputs(), (std::set<std::string>{stale}));

    const Result help = RunCli("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.output.starts_with("Usage: tollamere-cli")) << help.output;
}

// On a terminal each item's progress replaces the last, and the line is
// cleared before the summary, which starts a line of its own.
TEST_F(CliEndToEndTest, TheProgressLineIsClearedBeforeTheSummary)
{
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(grantpt(terminal), 0);
    ASSERT_EQ(unlockpt(terminal), 0);
    const std::string side = ptsname(terminal);
    // Held open here too, so that what the program wrote stays readable after it ends.
    const int held = open(side.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(held, 0);
    const std::string command = std::string(TOLLAMERE_CLI) + " -j 1 -o " + Out() + " " + Quoted(root_ / "in" / "a.png") +
                                " " + Quoted(root_ / "in" / "deeper" / "c.bmp") + " 2>" + side;
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(fcntl(terminal, F_SETFL, O_NONBLOCK), 0);
    std::string shown;
    char buffer[4096];
    for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;)
        shown.append(buffer, static_cast<std::size_t>(got));
    close(held);
    close(terminal);

    EXPECT_NE(shown.find("100%  c.bmp"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("Progress Bar"), std::string::npos) << shown;
    EXPECT_NE(shown.find("c.bmp\r\033[K2 of 2 file(s) written to "), std::string::npos) << shown;
}

// Each failure is one line, "tollamere-cli: FILE: reason", the file named
// once; -q leaves nothing else, -v adds a line for each item written.
TEST_F(CliEndToEndTest, EveryMessageNamesTheFileOnceWithItsReason)
{
    const fs::path in = root_ / "in";
    std::ofstream(in / "broken.jpg") << "\xFF\xD8\xFF truncated";
    std::ofstream(in / "garbage.png") << "not a picture";
    std::ofstream(in / "empty.png");
    SavePictureFile(Button(1200), false, in / "large.png");
    const struct {
        fs::path input;
        std::string reason;  // the start of it
    } rows[] = {
        {root_ / "missing.png", "no such file"},
        {in / "broken.jpg", "damaged picture: "},
        {in / "garbage.png", "not a picture this program reads"},
        {in / "empty.png", "empty file"},
        {in / "notes.txt", "no picture format is known for the extension \"txt\""},
        {in / "large.png", "too large: a picture of 1200 x 1200 pixels"},
    };
    std::string arguments = "-q --max-memory 1 -o " + Out() + " " + Quoted(in / "a.png");
    for (const auto& row : rows)
        arguments += " " + Quoted(row.input);
    const Result result = RunCli(arguments);
    EXPECT_EQ(result.exitCode, 1);
    std::istringstream lines(result.errors);
    std::size_t row = 0;
    for (std::string line; std::getline(lines, line); ++row) {
        ASSERT_LT(row, std::size(rows)) << line;
        const std::string named = "tollamere-cli: " + rows[row].input.string() + ": ";
        EXPECT_TRUE(line.starts_with(named + rows[row].reason)) << line;
        EXPECT_EQ(line.find(rows[row].input.filename().string(), named.size()), std::string::npos) << line;
    }
    EXPECT_EQ(row, std::size(rows)) << result.errors;
    EXPECT_EQ(Outputs(), (std::set<std::string>{"a.png"}));

    const Result verbose = RunCli("-v -j 1 -o " + Out() + " " + Quoted(in / "a.png") + " " + Quoted(in / "deeper"));
    EXPECT_EQ(verbose.exitCode, 0) << verbose.errors;
    const std::regex itemLines(in.string() + "/a.png -> " + (root_ / "out").string() + "/a.png, [0-9]+ ms\n" +
                               in.string() + "/deeper/b.JPG -> " + (root_ / "out").string() + "/b.jpg, [0-9]+ ms\n" +
                               in.string() + "/deeper/c.bmp -> " + (root_ / "out").string() + "/c.bmp, [0-9]+ ms\n" +
                               "3 of 3 file\\(s\\) written to .*\n");
    EXPECT_TRUE(std::regex_match(verbose.errors, itemLines)) << verbose.errors;

    // A warning is no error: -q leaves it out.
    std::ofstream(root_ / "later.look") << "tollamere-look = 2\nname = x\n";
    const std::string withLook = "--look " + Quoted(root_ / "later.look") + " -o " + Out() + " " + Quoted(in / "a.png");
    EXPECT_TRUE(RunCli(withLook).errors.starts_with("tollamere-cli: warning: " + (root_ / "later.look").string() + ": it was"));
    const Result quiet = RunCli("-q " + withLook);
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.errors, "");
}

// Each item that ends gets one line, in list order after the scan's skips;
// nothing else reaches standard output, even with progress asked for.
TEST_F(CliEndToEndTest, JsonReportsEveryItemOnItsOwnLine)
{
    const fs::path in = root_ / "in";
    fs::copy_file(in / "a.png", in / "~draft.png");
    std::ofstream(in / "broken.png") << "not a picture";
    const fs::path missing = root_ / "missing.png";
    const fs::path quote = root_ / "say \"cheese\".png";
    fs::copy_file(in / "a.png", quote);
    const Result result = RunCli("--json -o " + Out() + " " + Quoted(in) + " " + Quoted(missing) + " " + Quoted(quote));
    EXPECT_EQ(result.exitCode, 1) << result.errors;
    JsonSummary summary;
    const std::vector<JsonItem> items = ReadJsonLines(result.output, &summary);

    const std::string out = (root_ / "out").string() + "/";
    const struct {
        fs::path input;
        std::optional<std::string> output;
        std::string outcome;
        std::string reason;  // the start of it
    } expected[] = {
        {in / "notes.txt", std::nullopt, "skipped", "extension not asked for"},
        {in / "~draft.png", std::nullopt, "skipped", "the name starts with \"~\""},
        {in / "a.png", out + "a.png", "written", ""},
        {in / "broken.png", out + "broken.png", "failed", "not a picture this program reads"},
        {in / "deeper" / "b.JPG", out + "b.jpg", "written", ""},
        {in / "deeper" / "c.bmp", out + "c.bmp", "written", ""},
        {missing, out + "missing.png", "failed", "no such file"},
        {quote, out + "say \"cheese\".png", "written", ""},
    };
    ASSERT_EQ(items.size(), std::size(expected)) << result.output;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const JsonItem& item = items[i];
        EXPECT_EQ(item.input, expected[i].input.string());
        EXPECT_EQ(item.output, expected[i].output) << item.input;
        EXPECT_EQ(item.outcome, expected[i].outcome) << item.input;
        if (expected[i].reason.empty()) {
            EXPECT_EQ(item.reason, std::nullopt) << item.input;
        } else {
            EXPECT_TRUE(item.reason && item.reason->starts_with(expected[i].reason)) << item.input;
        }
        EXPECT_GE(item.milliseconds, 0) << item.input;
        if (item.outcome == "written") {
            EXPECT_TRUE(fs::exists(*item.output)) << *item.output;
        }
    }
    EXPECT_EQ(summary.written, 4);
    EXPECT_EQ(summary.skipped, 2);
    EXPECT_EQ(summary.failed, 2);
    EXPECT_FALSE(summary.stopped);
    EXPECT_GE(summary.seconds, 0);
    // Progress and the summary stay on standard error.
    EXPECT_NE(result.errors.find("4 of 6 file(s) written"), std::string::npos) << result.errors;

    const Result quiet = RunCli("--json -q -o " + Out() + " " + Quoted(in / "a.png"));
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.errors, "");
    EXPECT_EQ(ReadJsonLines(quiet.output).size(), 1u);
}

// Listed paths come after the arguments' own and are taken as they are: a
// file converted, a folder scanned. A name is bytes: one with byte 0xFF is
// read and written under its own name, and shown escaped.
TEST_F(CliEndToEndTest, FilesFromReadsLinesOrNulEndedPaths)
{
    const std::string a = (root_ / "in" / "a.png").string();
    const std::string deeper = (root_ / "in" / "deeper").string();
    const std::string b = deeper + "/b.JPG";
    const std::string c = deeper + "/c.bmp";
    const std::string notes = (root_ / "in" / "notes.txt").string();
    const std::string odd = (root_ / "\xFF.png").string();
    fs::copy_file(a, odd);
    const std::string list = Quoted(root_ / "list");
    const struct {
        std::string list;
        std::string arguments;
        bool fromStandardInput;
        std::vector<std::string> inputs;
        int exitCode;
    } rows[] = {
        {a + "\n\n" + deeper + "\n", "--files-from " + list, false, {a, b, c}, 0},
        // notes.txt, given by name, is tried and fails.
        {a + "\n" + deeper, "--files-from=" + list + " " + Quoted(notes), false, {notes, a, b, c}, 1},
        {deeper + '\0' + a + '\0', "-0 --files-from " + list, false, {b, c, a}, 0},
        {deeper + "\n" + a + "\n", "--files-from -", true, {b, c, a}, 0},
        {std::string(odd + '\0'), "--null --files-from -", true, {odd}, 0},
        {"", Quoted(odd), false, {odd}, 0},
        // A line ending "\r\n" names a file whose name ends with "\r".
        {a + "\r\n", "--files-from " + list, false, {a + "\r"}, 1},
    };
    for (const auto& row : rows) {
        std::ofstream(root_ / "list", std::ios::binary) << row.list;
        const Result result = RunCli("-q --json -o " + Out() + " " + row.arguments, row.fromStandardInput ? row.list : "");
        EXPECT_EQ(result.exitCode, row.exitCode) << row.arguments << ": " << result.errors;
        EXPECT_EQ(result.errors.find('\xFF'), std::string::npos) << "a raw byte reached the terminal";
        std::vector<std::string> inputs;
        for (const JsonItem& item : ReadJsonLines(result.output))
            inputs.push_back(item.input);
        EXPECT_EQ(inputs, row.inputs) << row.arguments;
    }
    EXPECT_TRUE(fs::exists(root_ / "out" / "\xFF.png"));

    // A named pipe may wait for its writer: the run says so, unless quiet.
    const fs::path pipe = root_ / "pipe";
    ASSERT_EQ(std::system(("mkfifo " + Quoted(pipe)).c_str()), 0);
    std::ofstream(root_ / "list", std::ios::binary) << a << "\n";
    for (const std::string quiet : {"", "-q "}) {
        const std::string writer = "timeout 20 sh -c 'cat " + root_.string() + "/list > " + pipe.string() + "' &";
        ASSERT_EQ(std::system(writer.c_str()), 0);
        const Result result = RunCli(quiet + "--json -o " + Out() + " --files-from " + Quoted(pipe));
        EXPECT_EQ(result.exitCode, 0) << result.errors;
        const std::string waiting = "tollamere-cli: waiting for the list on " + pipe.string() + "...\n";
        EXPECT_EQ(result.errors.starts_with(waiting), quiet.empty()) << result.errors;
        EXPECT_EQ(ReadJsonLines(result.output).size(), 1u) << result.output;
    }

    std::ofstream(root_ / "list", std::ios::binary) << a << "\n-\n";
    const Result dash = RunCli("-q -o " + Out() + " --files-from " + list);
    EXPECT_EQ(dash.exitCode, 2);
    EXPECT_NE(dash.errors.find("the list " + (root_ / "list").string() + ": \"-\" is not a path"), std::string::npos)
        << dash.errors;
}

// Ctrl+C and a termination request let the pictures in progress end, leave
// no temporary file, and give the shell's status for the signal.
TEST_F(CliEndToEndTest, InterruptStopsTheRunWithTheSignalsStatus)
{
    const fs::path many = root_ / "many";
    fs::create_directories(many);
    SavePictureFile(Button(600), false, many / "000.png");
    // Far more items than can end between the first report and the signal.
    for (int i = 1; i < 150; ++i)
        fs::copy_file(many / "000.png", many / (std::to_string(1000 + i) + ".png"));
    const std::string out = (root_ / "out").string();

    // SIGPIPE stands for the reader of the report going away.
    for (const auto& [sent, exitCode] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}, std::pair{SIGPIPE, 141}}) {
        fs::remove_all(root_ / "out");
        fs::create_directories(root_ / "out");
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            dup2(ends[1], STDOUT_FILENO);
            close(ends[0]);
            close(ends[1]);
            execl(TOLLAMERE_CLI, "tollamere-cli", "--json", "-q", "-j", "1", "-o", out.c_str(), many.c_str(), nullptr);
            _exit(127);
        }
        close(ends[1]);
        // The first item's line: the run is under way.
        char c = 0;
        std::string firstLine;
        while (read(ends[0], &c, 1) == 1 && c != '\n')
            firstLine += c;
        EXPECT_NE(firstLine.find("\"written\""), std::string::npos) << firstLine;
        std::string rest;
        if (sent == SIGPIPE) {
            close(ends[0]);
        } else {
            kill(child, sent);
            // Read on to the end: a closed pipe would end the program itself.
            while (read(ends[0], &c, 1) == 1)
                rest += c;
            close(ends[0]);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), exitCode) << sent;

        std::size_t outputs = 0;
        for (const auto& entry : fs::directory_iterator(root_ / "out")) {
            EXPECT_FALSE(IsTemporaryFileName(entry.path().filename().string())) << entry.path();
            EXPECT_NO_THROW(LoadPictureFile(entry.path())) << "incomplete: " << entry.path();
            ++outputs;
        }
        // Every item that ended was reported, and only those; without a
        // reader, the item whose line failed was written all the same.
        if (sent == SIGPIPE)
            EXPECT_LT(outputs, 150u);
        else
            EXPECT_EQ(outputs, 1 + ReadJsonLines(rest).size()) << sent;
    }
}

// A signal ends a read of standard input at once, even while the writer
// sends nothing, and the copy goes with it; a copy a killed run left is
// removed by the next run, while that of a run still going stays. A reader
// gone before the picture was sent is not told it was written.
TEST_F(CliEndToEndTest, ASignalEndsTheReadOfStandardInputAndNoCopyIsLeft)
{
    const fs::path temporary = root_ / "tmp";
    fs::create_directories(temporary / "tollamere-cli-Stale1");
    std::ofstream(temporary / "tollamere-cli-Stale1" / "stdin") << "left by a killed run";
    fs::create_directories(temporary / "tollamere-cli-Alive1");
    fs::create_directories(temporary / "tollamere-cli-other");
    const int alive = open((temporary / "tollamere-cli-Alive1").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(flock(alive, LOCK_EX), 0);
    const std::string a = (root_ / "in" / "a.png").string();

    // Standard input from a pipe the test keeps open; standard output a
    // pipe whose reader is gone (the second run).
    const auto start = [&](const std::vector<const char*>& arguments, int input, int output) {
        const pid_t child = fork();
        if (child == 0) {
            dup2(input, STDIN_FILENO);
            dup2(output, STDOUT_FILENO);
            setenv("TMPDIR", temporary.c_str(), 1);
            std::vector<char*> argv{const_cast<char*>("tollamere-cli")};
            for (const char* argument : arguments)
                argv.push_back(const_cast<char*>(argument));
            argv.push_back(nullptr);
            execv(TOLLAMERE_CLI, argv.data());
            _exit(127);
        }
        return child;
    };
    const auto ended = [](pid_t child) {
        int status = 0;
        for (int waited = 0; waited < 400 && waitpid(child, &status, WNOHANG) == 0; ++waited)
            usleep(50'000);
        if (waitpid(child, &status, WNOHANG) == 0) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -1;
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    const auto copies = [&] {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(temporary))
            names.insert(entry.path().filename().string());
        return names;
    };

    int feed[2];
    ASSERT_EQ(pipe(feed), 0);
    const int null = open("/dev/null", O_WRONLY);
    const pid_t reading = start({"--format", "png", "-", "-o", "-"}, feed[0], null);
    const std::string zeros(1 << 20, '\0');
    ASSERT_EQ(write(feed[1], zeros.data(), zeros.size()), ssize_t(zeros.size()));
    kill(reading, SIGINT);
    // The write above returned once the program had read most of it, so
    // it is in its read.
    EXPECT_EQ(ended(reading), 128 + SIGINT);
    close(feed[0]);
    close(feed[1]);
    EXPECT_EQ(copies(), (std::set<std::string>{"tollamere-cli-Alive1", "tollamere-cli-other"}));

    int gone[2];
    ASSERT_EQ(pipe(gone), 0);
    close(gone[0]);
    const int picture = open(a.c_str(), O_RDONLY);
    const std::string errors = (root_ / "stderr").string();
    const pid_t lost = fork();
    if (lost == 0) {
        dup2(open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
        dup2(picture, STDIN_FILENO);
        dup2(gone[1], STDOUT_FILENO);
        execl(TOLLAMERE_CLI, "tollamere-cli", "-v", "--format", "png", "-", "-o", "-", nullptr);
        _exit(127);
    }
    EXPECT_EQ(ended(lost), 128 + SIGPIPE);
    EXPECT_NE(ReadWhole(errors).find("0 of 1 file(s) written to standard output"), std::string::npos) << ReadWhole(errors);
    close(gone[1]);
    close(picture);
    close(null);
    close(alive);
}

// A caller may close the standard streams: failure text must never land in
// an output that took their descriptor.
// A photo stored sideways is bevelled upright and marked so, unless asked
// not to; both ways through the JPEG writer, which bevels on its surface.
TEST_F(CliEndToEndTest, APhotoStoredSidewaysComesOutUpright)
{
    SaveSettings sideways;
    // A little-endian block whose one tag is the orientation, 6.
    sideways.metadata.exif = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0,
                              0x12, 0x01, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0};
    SavePictureFile(Picture(30, 20, 0xFF3080FFu), false, root_ / "photo.jpg", sideways);
    for (const bool upright : {true, false}) {
        const Result run = RunCli(std::string(upright ? "" : "--no-auto-orient ") + "-q -o " + Out() + " " +
                                  Quoted(root_ / "photo.jpg"));
        ASSERT_EQ(run.exitCode, 0) << run.errors;
        const PictureFile written = LoadPictureFile(root_ / "out" / "photo.jpg");
        EXPECT_EQ(written.picture.Width(), upright ? 20 : 30);
        EXPECT_EQ(ExifOrientation(written.metadata.exif), upright ? 1 : 6);
    }
}

// Standard output on a full disk is a failure that says so, whatever was
// written to it; outputs already written stay. One the caller closed fails
// before anything is read or converted for it.
TEST_F(CliEndToEndTest, AFullOrClosedStandardOutputFailsTheRun)
{
    const std::string a = Quoted(root_ / "in" / "a.png");
    const struct {
        std::string arguments;
        std::string redirect;
        std::string said;
        std::set<std::string> outputs;
    } rows[] = {
        {"--help", ">/dev/full", "No space left on device", {}},
        {"--version", ">/dev/full", "No space left on device", {}},
        {"--json -o " + Out() + " " + a, ">/dev/full", "No space left on device", {"a.png"}},
        {"--help", ">&-", "Bad file descriptor", {}},
        {"--json -o " + Out() + " " + a, ">&-", "Bad file descriptor", {}},
        {"--format png -o - - <" + a, ">&-", "Bad file descriptor", {}},
    };
    for (const auto& row : rows) {
        fs::remove_all(root_ / "out");
        fs::create_directories(root_ / "out");
        const std::string command =
            std::string(TOLLAMERE_CLI) + " " + row.arguments + " " + row.redirect + " 2>" + Quoted(root_ / "stderr");
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << command;
        EXPECT_EQ(WEXITSTATUS(status), 1) << command;
        EXPECT_NE(ReadWhole(root_ / "stderr").find("tollamere-cli: standard output: " + row.said + "\n"), std::string::npos)
            << command;
        EXPECT_EQ(Outputs(), row.outputs) << command;
    }
}

TEST_F(CliEndToEndTest, ClosedStandardStreamsLeaveTheOutputsAlone)
{
    // Good and bad files alternate, so that failures are reported while
    // other outputs are being written.
    fs::create_directories(root_ / "mixed");
    const Picture large = Button(300);
    for (int i = 0; i < 20; ++i) {
        const std::string number = (i < 10 ? "0" : "") + std::to_string(i);
        SavePictureFile(large, false, root_ / "mixed" / (number + "a.bmp"));
        std::ofstream(root_ / "mixed" / (number + "b.png")) << "garbage " << i;
    }
    const Result open = RunCli("-q -j 2 -o " + Out() + " " + Quoted(root_ / "mixed"));
    EXPECT_EQ(open.exitCode, 1);
    std::map<std::string, std::string> expected;
    for (const auto& entry : fs::directory_iterator(root_ / "out"))
        expected[entry.path().filename().string()] = ReadWhole(entry.path());
    ASSERT_EQ(expected.size(), 20u);

    for (const char* closing : {"2>&-", ">&-", "<&- >&- 2>&-"}) {
        fs::remove_all(root_ / "out");
        fs::create_directories(root_ / "out");
        const std::string command = std::string(TOLLAMERE_CLI) + " -j 2 -o " + Out() + " " + Quoted(root_ / "mixed") +
                                    " " + closing;
        const int status = std::system(command.c_str());
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1) << closing;
        std::size_t written = 0;
        for (const auto& entry : fs::directory_iterator(root_ / "out")) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(expected.contains(name) && ReadWhole(entry.path()) == expected[name]) << name << " with " << closing;
            ++written;
        }
        EXPECT_EQ(written, expected.size()) << closing;
    }
}

TEST_F(CliEndToEndTest, HostileFilesGiveOneLineEachAndTheRestIsWritten)
{
    fs::create_directories(root_ / "hostile");
    const std::vector<test::HostileFile> corpus = test::WriteHostileCorpus(root_ / "hostile");
    const Result result = RunCli("-q -o " + Out() + " " + Quoted(root_ / "hostile"));
    EXPECT_EQ(result.exitCode, 1);

    // Every line names one input and why; the decoders' own chatter stays out.
    std::set<std::string> named;
    std::istringstream lines(result.errors);
    for (std::string line; std::getline(lines, line);) {
        ASSERT_TRUE(line.starts_with("tollamere-cli: ")) << line;
        line.erase(0, std::string_view("tollamere-cli: ").size());
        const std::size_t colon = line.find(": ");
        ASSERT_NE(colon, std::string::npos) << line;
        const std::string path = line.substr(0, colon);
        EXPECT_TRUE(named.insert(path).second) << "named twice: " << line;
        EXPECT_TRUE(fs::exists(path)) << line;
    }
    for (const test::HostileFile& file : corpus) {
        const bool reported = named.contains(file.path.string());
        if (file.outcome == test::Outcome::Fails) {
            EXPECT_TRUE(reported) << file.path;
        }
        if (file.outcome == test::Outcome::Written) {
            EXPECT_FALSE(reported) << file.path;
            EXPECT_TRUE(fs::exists(root_ / "out" / file.path.filename())) << file.path;
        }
    }
    EXPECT_EQ(Outputs().size() + named.size(), corpus.size());
}

// What the scan skips by rule is listed by -v and leaves the exit status
// alone; a folder it cannot list fails the run. Every other name is taken,
// and read back exactly from the report.
TEST_F(CliEndToEndTest, FolderScanSkipsByRuleLeaveTheStatusAndEveryNameIsTaken)
{
    struct Skipped {
        std::string name;
        std::string reason;
    };
    std::vector<Skipped> skipped = {
        {"notes.txt", "extension not asked for"},
        {"~a.png", "the name starts with \"~\""},
        {".b.png", "hidden file"},
        {".cache/", "hidden folder"},
        {"locked/", "the folder cannot be listed: permission denied"},
    };
    const fs::path in = root_ / "in";
    for (const char* name : {"~a.png", ".b.png", "tab\there.png", "caf\xE9.png", "caf\\xE9.png"})
        fs::copy_file(in / "a.png", in / name);
    fs::create_directories(in / ".cache");
    fs::copy_file(in / "a.png", in / ".cache" / "x.png");
    fs::create_directories(in / "locked");
    fs::copy_file(in / "a.png", in / "locked" / "d.png");
    fs::permissions(in / "locked", fs::perms::none);
    std::error_code listingError;
    fs::directory_iterator listing(in / "locked", listingError);
    const bool locked = static_cast<bool>(listingError);
    if (!locked) {
        std::printf("[   NOTE   ] the unlistable-folder row is left out: root can list any folder\n");
        skipped.pop_back();
    }
    const std::string arguments = "-o " + Out() + " " + Quoted(in);
    const std::string written = locked ? "6 of 6" : "7 of 7";

    const Result plain = RunCli(arguments);
    EXPECT_EQ(plain.exitCode, locked ? 1 : 0) << plain.errors;
    const std::string byRule = "; 4 skipped by rule";
    EXPECT_NE(plain.errors.find(written + " file(s) written to " + (root_ / "out").string() + byRule +
                                " (-v lists them)\n"),
              std::string::npos)
        << plain.errors;
    EXPECT_EQ(plain.errors.find(": skipped, "), std::string::npos) << plain.errors;
    EXPECT_EQ(Outputs().count("x.png") + Outputs().count("~a.png") + Outputs().count(".b.png"), 0u);
    EXPECT_EQ(Outputs().count("tab\there.png") + Outputs().count("caf\xE9.png") + Outputs().count("caf\\xE9.png"), 3u);

    const Result verbose = RunCli("--verbose " + arguments);
    EXPECT_EQ(verbose.exitCode, locked ? 1 : 0) << verbose.errors;
    for (const Skipped& item : skipped) {
        const std::string line = "tollamere-cli: " + (in / item.name).string() + ": " +
                                 (item.name == "locked/" ? "" : "skipped, ") + item.reason + "\n";
        EXPECT_NE(verbose.errors.find(line), std::string::npos) << line << "in\n" << verbose.errors;
    }
    EXPECT_NE(verbose.errors.find("/in/tab\\x09here.png -> "), std::string::npos) << verbose.errors;
    EXPECT_EQ(verbose.errors.find('\xE9'), std::string::npos) << "a raw byte reached the terminal";

    // The report has a line for each skip too, before the run's items, and
    // tells the two "caf" names apart.
    const Result json = RunCli("-q --json " + arguments);
    EXPECT_EQ(json.exitCode, locked ? 1 : 0);
    EXPECT_EQ(json.errors, locked ? "tollamere-cli: " + (in / "locked/").string() + ": " + skipped.back().reason + "\n" : "");
    std::set<std::string> reported;
    std::set<std::string> writtenInputs;
    JsonSummary summary;
    for (const JsonItem& item : ReadJsonLines(json.output, &summary)) {
        if (!item.output)
            reported.insert(item.input + ": " + item.reason.value_or(""));
        else if (item.outcome == "written")
            writtenInputs.insert(fs::path(item.input).filename().string());
    }
    std::set<std::string> expected;
    for (const Skipped& item : skipped)
        expected.insert((in / item.name).string() + ": " + item.reason);
    EXPECT_EQ(reported, expected);
    std::set<std::string> convertible{"a.png", "b.JPG", "c.bmp", "tab\there.png", "caf\xE9.png", "caf\\xE9.png"};
    if (!locked)
        convertible.insert("d.png");
    EXPECT_EQ(writtenInputs, convertible);
    EXPECT_EQ(summary.skipped, 4);
    EXPECT_EQ(summary.failed, locked ? 1 : 0);

    fs::permissions(in / "locked", fs::perms::owner_all);
}

// A picture through a pipe: "-" reads it from standard input, "-o -" writes
// the one output to standard output, the same bytes as a file output.
TEST_F(CliEndToEndTest, PicturesGoThroughPipes)
{
    const fs::path a = root_ / "in" / "a.png";
    ASSERT_EQ(RunCli("-q --format png -o " + Out() + " " + Quoted(root_ / "in" / "deeper" / "b.JPG")).exitCode, 0);
    const std::string fileOutput = ReadWhole(root_ / "out" / "b.png");
    const std::string jpeg = ReadWhole(root_ / "in" / "deeper" / "b.JPG");
    const struct {
        std::string arguments;
        std::string input;
        int exitCode;
        std::string output;  // standard output
        std::string errors;
    } rows[] = {
        {"--format png - -o -", jpeg, 0, fileOutput, ""},
        {"-q --format png -o - -- -", jpeg, 0, fileOutput, ""},
        {"--format png - -o -", "not a picture", 1, "", "tollamere-cli: -: not a picture this program reads\n"},
        {"--format png - -o -", "", 1, "", "tollamere-cli: -: empty file\n"},
        {"-v --format png - -o -", jpeg, 0, fileOutput, ""},
    };
    for (const auto& row : rows) {
        const Result result = RunCli(row.arguments, row.input);
        EXPECT_EQ(result.exitCode, row.exitCode) << row.arguments << ": " << result.errors;
        EXPECT_TRUE(result.output == row.output) << row.arguments;
        if (row.arguments.starts_with("-v"))
            EXPECT_TRUE(std::regex_match(result.errors, std::regex("- -> -, [0-9]+ ms\n1 of 1 file\\(s\\) written to standard output\n")))
                << result.errors;
        else
            EXPECT_EQ(result.errors, row.errors) << row.arguments;
    }

    // Into a folder, standard input's output is named "stdin" and the
    // report calls its input "-".
    const Result named = RunCli("-q --json -o " + Out() + " - " + Quoted(a), ReadWhole(a));
    EXPECT_EQ(named.exitCode, 0) << named.errors;
    const std::vector<JsonItem> items = ReadJsonLines(named.output);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].input, "-");
    EXPECT_EQ(items[0].output, (root_ / "out" / "stdin.png").string());
    EXPECT_EQ(ReadWhole(root_ / "out" / "stdin.png"), ReadWhole(root_ / "out" / "a.png"));

    // Two in a pipeline: the second reads what the first wrote.
    const std::string cli = TOLLAMERE_CLI;
    const std::string pipeline = cli + " --format png - -o - < " + Quoted(a) + " | " + cli + " --format bmp -s 2 - -o - > " +
                                 Quoted(root_ / "twice.bmp");
    ASSERT_EQ(std::system(pipeline.c_str()), 0);
    EXPECT_EQ(LoadPictureFile(root_ / "twice.bmp").picture.Width(), 20);
}

// Left out by design, not for a fault: the run still succeeds. The output
// folder is named however the user likes and found by its identity.
TEST_F(CliEndToEndTest, OutputFolderAndFolderLinksAreLeftOutWithoutFailing)
{
    const fs::path in = root_ / "in";
    const fs::path out = in / "out";
    // Skipped by rule, which would be listed too.
    fs::remove(in / "notes.txt");
    fs::create_directories(out);
    fs::create_directory_symlink(in / "deeper", in / "linked");
    const std::string outputShown = out.string() + "/: left out, the output folder\n";
    const std::string linkShown = (in / "linked").string() + "/: left out, a link to a folder, not followed\n";
    const struct {
        std::string options;
        bool outputSaid;
        bool linkSaid;
    } rows[] = {
        {"--keep-folders -o " + Quoted(in / "." / "out"), true, false},
        // Converting again must not take the first run's outputs for inputs.
        {"--keep-folders -v -o " + Quoted(root_ / "in" / "deeper" / ".." / "out"), true, true},
        {"--keep-folders -q -o " + Quoted(out), false, false},
    };
    for (const auto& row : rows) {
        const Result result = RunCli(row.options + " " + Quoted(in));
        EXPECT_EQ(result.exitCode, 0) << row.options << ": " << result.errors;
        const std::size_t said = result.errors.find(outputShown);
        EXPECT_EQ(said != std::string::npos, row.outputSaid) << result.errors;
        EXPECT_EQ(result.errors.find(outputShown, said + 1), std::string::npos) << "said twice: " << result.errors;
        EXPECT_EQ(result.errors.find(linkShown) != std::string::npos, row.linkSaid) << result.errors;
        EXPECT_EQ(result.errors.find("skipped"), std::string::npos) << result.errors;
        std::set<std::string> outputs;
        for (const auto& entry : fs::recursive_directory_iterator(out))
            outputs.insert(entry.path().lexically_relative(out).string());
        EXPECT_EQ(outputs, (std::set<std::string>{"a.png", "deeper", "deeper/b.jpg", "deeper/c.bmp"})) << row.options;
    }
}

// These need the run to place and name outputs by OutputOptions.
TEST_F(CliEndToEndTest, OutputOptionsReachTheRun)
{
    const std::string in = Quoted(root_ / "in");
    const std::string a = Quoted(root_ / "in" / "a.png");
    // Formats that are read but not written here are pictures to the scan too.
    fs::create_directories(root_ / "read-only");
    test::WriteBytes(root_ / "read-only" / "t.tga", test::MakeTga(test::LetterF(), false, false));
    SavePictureFile(test::LetterF(), false, root_ / "read-only" / "p.ppm");
    const struct {
        std::string arguments;
        std::set<std::string> outputs;
    } rows[] = {
        {"--format png " + Quoted(root_ / "read-only"), {"t.png", "p.png"}},
        {"--keep-folders " + in, {"a.png", "deeper/b.jpg", "deeper/c.bmp"}},
        {"--keep-folders " + Quoted(root_ / "in" / "deeper" / "c.bmp") + " " + in,
         {"c.bmp", "a.png", "deeper/b.jpg", "deeper/c.bmp"}},
        {"--name '{n}-{name}' --format png " + in, {"1-a.png", "2-b.png", "3-c.png"}},
    };
    for (const auto& row : rows) {
        fs::remove_all(root_ / "out");
        fs::create_directories(root_ / "out");
        const Result result = RunCli("-q -o " + Out() + " " + row.arguments);
        EXPECT_EQ(result.exitCode, 0) << row.arguments << ": " << result.errors;
        EXPECT_EQ(Outputs(), row.outputs) << row.arguments;
    }

    // Outputs left as they were are what --overwrite skip asks for: success.
    ASSERT_EQ(RunCli("-q -o " + Out() + " " + a).exitCode, 0);
    const Result again = RunCli("-q --json --overwrite skip -o " + Out() + " " + a);
    EXPECT_EQ(again.exitCode, 0) << again.errors;
    const std::vector<JsonItem> items = ReadJsonLines(again.output);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].outcome, "skipped");
}

} // namespace
} // namespace tollamere
