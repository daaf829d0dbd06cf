// SPDX-License-Identifier: MIT
#include "json_lines.h"

#include "runtime_error.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace tollamere {

namespace {

const char* OutcomeName(ItemResult::Outcome outcome)
{
    switch (outcome) {
    case ItemResult::Outcome::Written: return "written";
    case ItemResult::Outcome::Skipped: return "skipped";
    case ItemResult::Outcome::Failed: return "failed";
    case ItemResult::Outcome::Refused: return "refused";
    }
    return "failed";
}

std::string JsonStringOrNull(std::string_view bytes)
{
    return bytes.empty() ? "null" : JsonString(bytes);
}

// The field that carries a name's bytes where its text cannot; nothing for
// valid UTF-8.
std::string RawBytes(std::string_view field, std::string_view bytes)
{
    if (IsValidUtf8(bytes))
        return {};
    return ", \"" + std::string(field) + "_base64\": \"" + Base64(bytes) + "\"";
}

} // namespace

std::string JsonString(std::string_view bytes)
{
    const std::string text = IsValidUtf8(bytes) ? std::string(bytes) : Printable(bytes);
    std::string json = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", byte);
            json += escaped;
        } else {
            json += c;
        }
    }
    return json + "\"";
}

std::string Base64(std::string_view bytes)
{
    constexpr char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t count = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t j = 0; j < 3; ++j)
            group = group << 8 | (j < count ? static_cast<unsigned char>(bytes[i + j]) : 0u);
        for (std::size_t j = 0; j < 4; ++j)
            text += j <= count ? digits[(group >> (18 - 6 * j)) & 0x3F] : '=';
    }
    return text;
}

std::string JsonLine(const ItemResult& result)
{
    const long long milliseconds = std::llround(std::max(0.0, result.milliseconds));
    std::string line = "{\"version\": " + std::to_string(JsonVersion) + ", \"record\": \"item\", \"input\": " +
                       JsonString(result.inputPath) + RawBytes("input", result.inputPath) +
                       ", \"output\": " + JsonStringOrNull(result.outputPath) + RawBytes("output", result.outputPath) +
                       ", \"outcome\": \"" + OutcomeName(result.outcome) + "\", \"reason\": " +
                       JsonStringOrNull(result.reason) + ", \"milliseconds\": " + std::to_string(milliseconds) + "}\n";
    return line;
}

std::string JsonSummaryLine(const RunCounts& counts)
{
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", std::max(0.0, counts.seconds));
    return "{\"version\": " + std::to_string(JsonVersion) + ", \"record\": \"summary\", \"written\": " +
           std::to_string(counts.written) + ", \"skipped\": " + std::to_string(counts.skipped) +
           ", \"failed\": " + std::to_string(counts.failed) + ", \"stopped\": " + (counts.stopped ? "true" : "false") +
           ", \"seconds\": " + seconds + "}\n";
}

} // namespace tollamere
