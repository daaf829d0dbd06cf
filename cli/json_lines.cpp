// SPDX-License-Identifier: MIT
#include "json_lines.h"

#include "runtime_error.h"

#include <algorithm>
#include <cmath>
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

std::string JsonLine(const ItemResult& result)
{
    const long long milliseconds = std::llround(std::max(0.0, result.milliseconds));
    return "{\"input\": " + JsonString(result.inputPath) + ", \"output\": " + JsonStringOrNull(result.outputPath) +
           ", \"outcome\": \"" + OutcomeName(result.outcome) + "\", \"reason\": " + JsonStringOrNull(result.reason) +
           ", \"milliseconds\": " + std::to_string(milliseconds) + "}\n";
}

} // namespace tollamere
