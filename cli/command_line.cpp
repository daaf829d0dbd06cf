// SPDX-License-Identifier: MIT
#include "command_line.h"

#include "bevel.h"
#include "format_registry.h"
#include "look_store.h"
#include "look_text.h"
#include "runtime_error.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include <algorithm>
#include <charconv>

namespace tollamere {

namespace {

// Arguments are bytes. Latin-1 maps each byte to one character and back, so
// the parser sees the ASCII option names as they are and every value and path
// comes back with its bytes unchanged, valid UTF-8 or not.
QString FromBytes(const std::string& bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ToBytes(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

std::string Quoted(const std::string& value)
{
    return "\"" + Printable(value) + "\"";
}

// A number written as decimal digits, with a "-" in front for a negative one
// where the type has them; spaces, a "+", a fraction, a unit or a value
// beyond the type give nothing.
template <typename Number>
std::optional<Number> WholeNumber(const std::string& text)
{
    Number number{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    return number;
}

template <typename Number>
std::optional<std::string> ReadWholeNumber(const std::string& option, const std::string& text, Number low, Number high,
                                           const std::string& unit, Number& target)
{
    const std::optional<Number> number = WholeNumber<Number>(text);
    if (!number || *number < low || *number > high)
        return option + " needs a whole number " + unit + "from " + std::to_string(low) + " to " +
               std::to_string(high) + ", not " + Quoted(text);
    target = *number;
    return std::nullopt;
}

// 1 TiB keeps the byte count far from overflowing and is beyond any machine
// this runs on; a budget above physical memory only means no limit.
constexpr unsigned long long MaxMemoryMiB = 1024ULL * 1024;
constexpr unsigned MaxJobs = 1024;
// The run reads the effect's texts with "." as the decimal separator.
constexpr const char* DecimalSeparator = ".";

// Each effect text is read once, as the run reads it, and checked as the
// run would use it with the other two neutral, so that the message names the
// option at fault.
template <typename Read>
std::optional<std::string> ReadEffectText(const std::string& option, const std::string& text, const std::string& wanted,
                                          Read read)
{
    try {
        BevelParameters alone{0, 0.0, 0.0};
        read(alone);
        CheckBevelParameters(alone);
        return std::nullopt;
    } catch (const RuntimeError& error) {
        if (error.Number() == ErrorNumber::TypeMismatch)
            return option + " needs a number, not " + Quoted(text);
        return option + " needs " + wanted + ", not " + Quoted(text);
    }
}

std::optional<std::string> ReadEffectTexts(CliOptions& options)
{
    BevelParameters& parameters = options.parameters;
    if (auto error = ReadEffectText("--size", options.bevelSize, "a bevel size from " + BevelSizeRangeText(), [&](BevelParameters& alone) {
            alone.bevelSize = parameters.bevelSize = ParseBevelSize(options.bevelSize, DecimalSeparator);
        }))
        return error;
    const std::string direction = "degrees few enough to give the light a direction";
    if (auto error = ReadEffectText("--angle", options.lightAngle, direction, [&](BevelParameters& alone) {
            alone.lightAngle = parameters.lightAngle = ParseLightDegrees(options.lightAngle, DecimalSeparator);
        }))
        return error;
    return ReadEffectText("--elevation", options.lightElevation, direction, [&](BevelParameters& alone) {
        alone.lightElevation = parameters.lightElevation = ParseLightDegrees(options.lightElevation, DecimalSeparator);
    });
}

// The look's options, each named as the look's choice it sets. Those that
// shape the smooth and chisel techniques' band would be dropped without a
// word by the classic effect, so they are refused with it; but the shape
// source also makes the drop shadow's shape, which every technique draws.
std::optional<std::string> ReadLookOptions(const QCommandLineParser& parser,
                                           const std::vector<std::pair<LookChoice, QCommandLineOption>>& options,
                                           BevelLook& look)
{
    // The options given that only the smooth and chisel techniques use.
    std::vector<std::string> shaping;
    for (const auto& [choice, option] : options) {
        if (!parser.isSet(option))
            continue;
        const std::string text = ToBytes(parser.value(option));
        if (auto reason = ReadLookChoice(choice.name, text, look))
            return "--" + choice.name + " " + *reason + ", not " + Quoted(text);
        if (choice.shapesSmoothBands)
            shaping.push_back(choice.name);
    }
    if (look.decoration.shadow)
        std::erase(shaping, "shape");
    if (!shaping.empty() && look.technique == BevelTechnique::Classic)
        return "--" + shaping.front() + " shapes the smooth and chisel techniques only; add --technique smooth or chisel";
    return std::nullopt;
}

std::optional<std::string> ReadOverwrite(const std::string& text, OutputOptions::Overwrite& overwrite)
{
    if (text == "replace")
        overwrite = OutputOptions::Overwrite::Replace;
    else if (text == "skip")
        overwrite = OutputOptions::Overwrite::Skip;
    else if (text == "rename")
        overwrite = OutputOptions::Overwrite::Rename;
    else
        return "--overwrite takes replace, skip or rename, not " + Quoted(text);
    return std::nullopt;
}

// A comma-separated list's items, each as written.
std::vector<std::string> ListItems(const std::string& text)
{
    std::vector<std::string> items;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        items.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos)
            return items;
        start = comma + 1;
    }
}

std::optional<std::string> ReadIconSizes(const std::string& text, std::vector<std::int32_t>& sizes)
{
    for (const std::string& item : ListItems(text)) {
        std::int32_t side = 0;
        if (auto reason = ReadWholeNumber<std::int32_t>("--ico-sizes", item, 1, MaxIconSide, "of pixels ", side))
            return reason;
        if (std::find(sizes.begin(), sizes.end(), side) != sizes.end())
            return "--ico-sizes gives " + std::to_string(side) + " twice";
        sizes.push_back(side);
    }
    return std::nullopt;
}

// The parser's own complaint, in the style of the other messages: "Missing
// value after '-o'." becomes "missing value after '-o'".
std::string ParserError(const QCommandLineParser& parser, const QStringList& arguments)
{
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        // The parser names an unknown option without its dashes; "--x" and
        // "-x" differ only in the argument.
        const QString longForm = QStringLiteral("--") + unknown.front();
        const bool isLong = std::any_of(arguments.begin(), arguments.end(), [&longForm](const QString& argument) {
            return argument == longForm || argument.startsWith(longForm + QLatin1Char('='));
        });
        return std::string("unknown option ") + (isLong ? "--" : "-") + Printable(ToBytes(unknown.front()));
    }
    std::string text = Printable(ToBytes(parser.errorText()));
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    if (!text.empty() && text.front() >= 'A' && text.front() <= 'Z')
        text.front() = static_cast<char>(text.front() - 'A' + 'a');
    return text;
}

QCommandLineOption Flag(const QStringList& names)
{
    return QCommandLineOption(names);
}

QCommandLineOption Valued(const QStringList& names, const QString& valueName)
{
    return QCommandLineOption(names, QString(), valueName);
}

// Standard input holds one thing and standard output takes one picture, or
// the report, never both.
std::optional<std::string> CheckStandardStreams(CliOptions& options)
{
    const auto dashes = std::count(options.paths.begin(), options.paths.end(), StandardStreamPath);
    options.pictureFromStandardInput = dashes > 0;
    if (dashes > 1)
        return "\"-\" is given twice; standard input holds one picture";
    if (dashes > 0 && options.filesFrom == StandardStreamPath)
        return "a picture on standard input (\"-\") and --files-from - cannot both be used";
    options.pictureToStandardOutput = options.outputFolder == StandardStreamPath;
    if (!options.pictureToStandardOutput)
        return std::nullopt;
    options.outputFolder.clear();
    if (options.output.format.empty())
        return "-o - needs --format, as no file name gives the picture's format";
    if (options.json)
        return "--json and -o - cannot share standard output";
    if (!options.output.moreFormats.empty() || options.output.scales.size() > 1)
        return "-o - writes one picture: one format and one scale";
    return std::nullopt;
}

} // namespace

std::optional<std::string> CheckInputPath(const std::string& path)
{
    if (path.empty())
        return "an empty argument is not a path";
    return std::nullopt;
}

std::optional<CliOptions> ParseCommandLine(const std::vector<std::string>& arguments, std::string& error)
{
    const QCommandLineOption output = Valued({"o", "output"}, "DIR");
    const QCommandLineOption size = Valued({"s", "size"}, "N");
    const QCommandLineOption angle = Valued({"a", "angle"}, "DEG");
    const QCommandLineOption elevation = Valued({"e", "elevation"}, "DEG");
    const QCommandLineOption extension = Valued({"x", "ext"}, "EXT");
    const QCommandLineOption jobs = Valued({"j", "jobs"}, "N");
    const QCommandLineOption maxMemory = Valued({"max-memory"}, "MB");
    const QCommandLineOption keepFolders = Flag({"keep-folders"});
    const QCommandLineOption name = Valued({"name"}, "PATTERN");
    const QCommandLineOption overwrite = Valued({"overwrite"}, "RULE");
    const QCommandLineOption format = Valued({"format"}, "EXT");
    const QCommandLineOption scale = Valued({"scale"}, "SCALES");
    const QCommandLineOption width = Valued({"width"}, "W");
    const QCommandLineOption height = Valued({"height"}, "H");
    const QCommandLineOption icoSizes = Valued({"ico-sizes"}, "SIZES");
    const QCommandLineOption quality = Valued({"quality"}, "N");
    const QCommandLineOption pngLevel = Valued({"png-level"}, "N");
    const QCommandLineOption strip = Flag({"strip"});
    const QCommandLineOption noAutoOrient = Flag({"no-auto-orient"});
    const QCommandLineOption filesFrom = Valued({"files-from"}, "FILE");
    const QCommandLineOption null = Flag({"0", "null"});
    const QCommandLineOption watch = Valued({"watch"}, "DIR");
    const QCommandLineOption json = Flag({"json"});
    const QCommandLineOption quiet = Flag({"q", "quiet"});
    const QCommandLineOption verbose = Flag({"v", "verbose"});
    const QCommandLineOption help = Flag({"h", "help"});
    const QCommandLineOption version = Flag({"version"});
    const QCommandLineOption look = Valued({"look"}, "NAME");
    std::vector<std::pair<LookChoice, QCommandLineOption>> lookOptions;
    for (const LookChoice& choice : LookChoices())
        lookOptions.emplace_back(choice, Valued({QString::fromStdString(choice.name)}, QString::fromStdString(choice.valueName)));

    QCommandLineParser parser;
    // "-qj2" is -q and -j 2, and "-s5" is -s 5, as getopt reads them.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    parser.addOptions({output, size, angle, elevation, extension, jobs, maxMemory, keepFolders, name, overwrite,
                       format, scale, width, height, icoSizes, quality, pngLevel, strip, noAutoOrient, filesFrom, null, json, quiet, verbose, help, version});
    parser.addOption(look);
    parser.addOption(watch);
    for (const auto& lookOption : lookOptions)
        parser.addOption(lookOption.second);
    QStringList texts{QStringLiteral("tollamere-cli")};
    for (const std::string& argument : arguments)
        texts.append(FromBytes(argument));
    if (!parser.parse(texts)) {
        error = ParserError(parser, texts);
        return std::nullopt;
    }

    // A value option given twice takes its last value, so a script's defaults
    // can be overridden by appending to its command line.
    const auto value = [&parser](const QCommandLineOption& option) { return ToBytes(parser.value(option)); };
    CliOptions options;
    options.help = parser.isSet(help);
    options.version = parser.isSet(version);
    options.quiet = parser.isSet(quiet);
    options.verbose = parser.isSet(verbose);
    options.json = parser.isSet(json);
    options.nullSeparated = parser.isSet(null);
    if (parser.isSet(output))
        options.outputFolder = value(output);
    // A look gives the numbers and the choices that the options below do not.
    if (parser.isSet(look)) {
        LookReading reading = FindLook(LookStore(), value(look));
        if (!reading.look) {
            error = "--look: " + reading.error;
            return std::nullopt;
        }
        options.bevelSize = reading.look->bevelSize;
        options.lightAngle = reading.look->lightAngle;
        options.lightElevation = reading.look->lightElevation;
        options.look = reading.look->look;
        options.warnings = std::move(reading.warnings);
    }
    if (parser.isSet(size))
        options.bevelSize = value(size);
    if (parser.isSet(angle))
        options.lightAngle = value(angle);
    if (parser.isSet(elevation))
        options.lightElevation = value(elevation);
    if (parser.isSet(extension))
        options.extension = value(extension);

    const auto fail = [&error](std::string reason) {
        error = std::move(reason);
        return std::nullopt;
    };
    if (parser.isSet(jobs)) {
        if (auto reason = ReadWholeNumber<unsigned>("--jobs", value(jobs), 1, MaxJobs, "", options.jobs))
            return fail(*reason);
    }
    if (parser.isSet(maxMemory)) {
        if (auto reason = ReadWholeNumber<unsigned long long>("--max-memory", value(maxMemory), 1, MaxMemoryMiB,
                                                              "of MiB ", options.maxMemoryMiB))
            return fail(*reason);
    }
    if (options.extension.empty())
        return fail("--ext needs an extension, or * for every picture file");
    if (auto reason = ReadEffectTexts(options))
        return fail(*reason);
    if (auto reason = ReadLookOptions(parser, lookOptions, options.look))
        return fail(*reason);

    OutputOptions& out = options.output;
    if (parser.isSet(keepFolders))
        out.structure = OutputOptions::Structure::KeepFolders;
    if (parser.isSet(name))
        out.namePattern = value(name);
    if (parser.isSet(overwrite)) {
        if (auto reason = ReadOverwrite(value(overwrite), out.overwrite))
            return fail(*reason);
    }
    if (parser.isSet(format)) {
        std::vector<std::string> formats = ListItems(value(format));
        for (const std::string& chosen : formats) {
            if (chosen.empty())
                return fail("--format needs an extension, such as png or jpg");
            if (std::count(formats.begin(), formats.end(), chosen) > 1)
                return fail("--format gives " + Quoted(chosen) + " twice");
        }
        out.format = formats.front();
        out.moreFormats.assign(formats.begin() + 1, formats.end());
    }
    if (parser.isSet(scale)) {
        if (auto reason = ReadScales(value(scale), out.scales))
            return fail("--scale " + *reason);
    }
    if (parser.isSet(width)) {
        if (auto reason = ReadWholeNumber<std::int32_t>("--width", value(width), 1, MaxFitSide, "of pixels ", out.fitWidth))
            return fail(*reason);
    }
    if (parser.isSet(height)) {
        if (auto reason = ReadWholeNumber<std::int32_t>("--height", value(height), 1, MaxFitSide, "of pixels ", out.fitHeight))
            return fail(*reason);
    }
    if (parser.isSet(icoSizes)) {
        if (auto reason = ReadIconSizes(value(icoSizes), out.iconSizes))
            return fail(*reason);
    }
    if (parser.isSet(quality)) {
        int number = 0;
        if (auto reason = ReadWholeNumber<int>("--quality", value(quality), MinQuality, MaxQuality, "", number))
            return fail(*reason);
        out.quality = number;
    }
    if (parser.isSet(pngLevel)) {
        int number = 0;
        if (auto reason = ReadWholeNumber<int>("--png-level", value(pngLevel), MinPngLevel, MaxPngLevel, "", number))
            return fail(*reason);
        out.pngLevel = number;
    }
    out.stripMetadata = parser.isSet(strip);
    out.autoOrient = !parser.isSet(noAutoOrient);
    if (auto reason = CheckOutputOptions(out))
        return fail(*reason);

    // Two lists are refused rather than one dropped: either way a file would
    // be left out without a word.
    if (parser.values(filesFrom).size() > 1)
        return fail("--files-from is given twice; put every path in one list");
    if (parser.isSet(filesFrom)) {
        options.filesFrom = value(filesFrom);
        if (options.filesFrom.empty())
            return fail("--files-from needs a file, or - for standard input");
    }
    if (options.nullSeparated && options.filesFrom.empty())
        return fail("--null goes with --files-from");

    for (const QString& path : parser.positionalArguments()) {
        options.paths.push_back(ToBytes(path));
        if (auto reason = CheckInputPath(options.paths.back()))
            return fail(*reason);
    }
    if (parser.isSet(watch)) {
        options.watchFolder = value(watch);
        if (options.watchFolder.empty())
            return fail("--watch needs a folder");
        if (!options.paths.empty() || !options.filesFrom.empty())
            return fail("--watch converts what appears in its folder; it takes no other paths or lists");
        if (options.outputFolder == "-")
            return fail("--watch writes into a folder, not to standard output");
        return options;
    }
    if (options.paths.empty() && options.filesFrom.empty() && !options.help && !options.version)
        return fail("no files or folders to convert");
    if (auto reason = CheckStandardStreams(options))
        return fail(*reason);
    return options;
}

std::string UsageText()
{
    return "Usage: tollamere-cli [options] PATH...\n"
           "       tollamere-cli [options] --files-from FILE [PATH...]\n"
           "       tollamere-cli [options] --watch DIR\n"
           "       tollamere-cli [options] --format EXT - -o -\n"
           "Turns pictures into bevelled buttons. Each PATH is a picture file, a folder whose\n"
           "picture files (in every sub-folder) are converted, or - for one picture read from\n"
           "standard input. Outputs take the input's name and format (\"jpg\" inputs give\n"
           "\".jpg\" JPEG files, \"bmp\" keeps its case; standard input's is named \"stdin\").\n"
           "Read and written: " + NameList(ListedFormatNames()) + ".\n"
           "Read only: " + NameList(ReadOnlyFormatNames()) + ".\n"
           "\n"
           "  -o, --output DIR      output folder (default: the current folder); - writes the\n"
           "                        one output to standard output (needs --format)\n"
           "  -s, --size N          bevel size in pixels, " + BevelSizeRangeText() + " (default: " +
           std::string(DefaultBevelSizeText) + ")\n"
           "  -a, --angle DEG       light angle in degrees (default: " + std::string(DefaultLightAngleText) +
           ", the top left)\n"
           "  -e, --elevation DEG   light elevation in degrees (default: " + std::string(DefaultLightElevationText) + ")\n"
           "  -x, --ext EXT         scan folders for files with this extension only\n"
           "                        (default: *, every picture file)\n"
           "  -j, --jobs N          pictures converted at once, 1 to 1024 (default: one per\n"
           "                        processor it may use)\n"
           "      --max-memory MB   memory the pictures in progress may take together\n"
           "                        (default: half of the memory it may use: the machine's,\n"
           "                        or its container's limit)\n"
           "\n"
           "Look:\n"
           "      --look NAME       start from a look: one that comes with the program (Classic,\n"
           "                        Soft button, Glass pill, Chiselled plate, Pillow), one saved\n"
           "                        in the window, or a look file; the options below and -s,\n"
           "                        -a and -e change it\n"
           "      --technique NAME  classic (the default), smooth (heights from the exact\n"
           "                        distance to the shape's edge) or chisel (hard, straight\n"
           "                        facets meeting in a ridge); the options below shape the\n"
           "                        smooth and chisel techniques only\n"
           "      --profile NAME    how the band rises: linear (default), round, cove or ridge\n"
           "      --depth PERCENT   the band's height, 0 to 1000 (default: 100)\n"
           "      --direction DIR   up (default: raised) or down (sunk)\n"
           "      --style NAME      where the band lies: inner (default: inside the shape),\n"
           "                        outer (outside it), emboss (half each side) or pillow\n"
           "                        (a groove along the edge)\n"
           "      --soften PX       blur of the band's heights, 0 to 64 pixels (default: 0)\n"
           "      --shape SOURCE    which pixels make the shape: green (not 0; the default),\n"
           "                        alpha (its coverage, edges kept where they are\n"
           "                        anti-aliased) or luma:N (luminance above N, 0 to 255)\n"
           "      --highlight COLOUR[@OPACITY][:MODE]\n"
           "      --shadow COLOUR[@OPACITY][:MODE]\n"
           "                        what the lit and the shaded side of the band take on:\n"
           "                        a colour (as below) laid on by normal, screen,\n"
           "                        multiply or overlay (default: white and black, normal)\n"
           "      --margin PX       grow the picture by PX, 0 to 4096, on every side after\n"
           "                        the bevel: transparent where the output keeps alpha,\n"
           "                        else the colour of its top left pixel (default: 0)\n"
           "      --drop-shadow DX,DY,BLUR[,COLOUR]\n"
           "                        the shape's shadow beneath it, moved by DX, DY (-4096\n"
           "                        to 4096) and reaching BLUR (0 to 512) pixels beyond its\n"
           "                        edge; COLOUR is #rrggbb, #rgb, black, white, grey, red,\n"
           "                        green or blue, then @OPACITY in percent (default:\n"
           "                        black@60); none draws no shadow (the default); these\n"
           "                        two work with every technique, and --shape makes the\n"
           "                        shadow's shape with the classic one too\n"
           "\n"
           "Outputs:\n"
           "      --keep-folders    recreate, under the output folder, the sub-folders of each\n"
           "                        file found in a folder PATH (a file given by itself goes\n"
           "                        straight into the output folder)\n"
           "      --name PATTERN    output name before its extension: text with {name} (the\n"
           "                        input's name), {ext} (its extension), {n} (its number,\n"
           "                        from 1) and {scale} (\"2x\") (default: {name}, and\n"
           "                        {name}@2x for a scale other than 1x)\n"
           "      --overwrite RULE  when an output exists: replace, skip (leave it) or rename\n"
           "                        (write \"name (2).png\") (default: replace)\n"
           "      --format EXT[,EXT...]\n"
           "                        write every output in this format (png, jpg, webp, ...),\n"
           "                        or in each of several (default: the input's)\n"
           "      --scale SCALES    write each input at each scale, such as 1x,2x,3x (0.01x to\n"
           "                        16x); the bevel and the look's sizes scale with it\n"
           "      --width W, --height H\n"
           "                        fit each input within W x H pixels (either alone bounds\n"
           "                        one side), its aspect kept, before the scales apply\n"
           "      --ico-sizes SIZES the sides an ICO or CUR output holds, 1 to 256, each\n"
           "                        bevelled at its own size (default: 16, 24, 32, 48, 64,\n"
           "                        128 and 256 up to the picture's size, and that size)\n"
           "      --quality N       JPEG quality, 1 to 100 (default: 100); makes WebP, AVIF and\n"
           "                        JPEG XL lossy at that quality (default: lossless)\n"
           "      --png-level N     PNG compression level, 0 to 9\n"
           "      --strip           leave out the inputs' colour profile, resolution and EXIF\n"
           "      --no-auto-orient  bevel a photo as stored, even when its EXIF orientation says\n"
           "                        it stands sideways (default: turn it upright first)\n"
           "\n"
           "Input lists and reports:\n"
           "      --files-from FILE also convert the paths listed in FILE, one a line (- reads\n"
           "                        standard input); empty lines are skipped; at most 256 MiB\n"
           "  -0, --null            the list's paths end with a NUL byte, not a line feed\n"
           "      --watch DIR       keep converting each picture that appears in DIR (below it\n"
           "                        too with --keep-folders) once its writer is done with it,\n"
           "                        until interrupted; the pictures already there are left\n"
           "      --json            write one JSON object a line to standard output for each\n"
           "                        item (version, input, output, outcome: written, skipped,\n"
           "                        failed or refused, reason, milliseconds), then a summary\n"
           "  -q, --quiet           nothing but errors\n"
           "  -v, --verbose         one line per item (\"in -> out, 12 ms\"), and each file and\n"
           "                        folder the folder scan skipped by rule (hidden names,\n"
           "                        names starting with \"~\", extensions not asked for), then\n"
           "                        the folders left out by design (links, the output folder)\n"
           "  -h, --help            show this text\n"
           "      --version         show the version\n"
           "\n"
           "A value option given twice takes the last value. A path that starts with \"-\" goes\n"
           "after \"--\"; a file named \"-\" is given as \"./-\".\n"
           "\n"
           "Exit status: 0 when every item was written or left by --overwrite skip (what a rule\n"
           "skips does not count), 1 when any failed, a folder could not be listed or standard\n"
           "output could not take what was written to it, 2 for a usage error, 128 + the\n"
           "signal's number when a signal stopped it (130 after Ctrl+C, 143 after a termination\n"
           "request, 141 when the reader of standard output went away).\n";
}

} // namespace tollamere
