// SPDX-License-Identifier: MIT
#include "runtime_error.h"

#include <algorithm>

namespace tollamere {

std::string StandardDescription(ErrorNumber number)
{
    switch (number) {
    case ErrorNumber::InvalidProcedureCall: return "Invalid procedure call or argument";
    case ErrorNumber::Overflow: return "Overflow";
    case ErrorNumber::OutOfMemory: return "Out of memory";
    case ErrorNumber::DivisionByZero: return "Division by zero";
    case ErrorNumber::TypeMismatch: return "Type mismatch";
    case ErrorNumber::FileNotFound: return "File not found";
    case ErrorNumber::PermissionDenied: return "Permission denied";
    case ErrorNumber::PathFileAccessError: return "Path/File access error";
    case ErrorNumber::InvalidPicture: return "Invalid picture";
    }
    return "Application-defined or object-defined error";
}

RuntimeError::RuntimeError(ErrorNumber number)
    : RuntimeError(number, StandardDescription(number))
{
}

RuntimeError::RuntimeError(ErrorNumber number, const std::string& description)
    : std::runtime_error(description), number_(number)
{
}

void Raise(ErrorNumber number)
{
    throw RuntimeError(number);
}

void Raise(ErrorNumber number, const std::string& description)
{
    throw RuntimeError(number, description);
}

void RaiseWithReason(ErrorNumber number, const std::string& reason)
{
    throw RuntimeError(number, StandardDescription(number) + ": " + reason);
}

std::string ReasonOf(const RuntimeError& error)
{
    const std::string description = error.Description();
    const std::string prefix = StandardDescription(error.Number()) + ": ";
    return description.starts_with(prefix) ? description.substr(prefix.size()) : description;
}

namespace {

// Length of the valid UTF-8 sequence at the start of text, or 0 when its
// first byte starts none (overlong forms and surrogates are not valid).
std::size_t Utf8SequenceLength(std::string_view text)
{
    const auto byte = [&text](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t at = 2; at < length; ++at) {
        if (byte(at) < 0x80 || byte(at) > 0xBF)
            return 0;
    }
    return length;
}

// C0 controls, DEL and the C1 controls (U+0080 to U+009F): a terminal may act
// on them, so a name holding one could rewrite what the user sees.
bool IsControlSequence(std::string_view sequence)
{
    const auto lead = static_cast<unsigned char>(sequence[0]);
    if (sequence.size() == 1)
        return lead < 0x20 || lead == 0x7F;
    return sequence.size() == 2 && lead == 0xC2 && static_cast<unsigned char>(sequence[1]) <= 0x9F;
}

void AppendEscaped(std::string& text, std::string_view bytes)
{
    constexpr char HexDigits[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text += "\\x";
        text.push_back(HexDigits[byte >> 4]);
        text.push_back(HexDigits[byte & 0x0F]);
    }
}

} // namespace

bool IsValidUtf8(std::string_view bytes) noexcept
{
    while (!bytes.empty()) {
        const std::size_t length = Utf8SequenceLength(bytes);
        if (length == 0)
            return false;
        bytes.remove_prefix(length);
    }
    return true;
}

std::string Printable(std::string_view path)
{
    std::string text;
    text.reserve(path.size());
    while (!path.empty()) {
        const std::size_t length = Utf8SequenceLength(path);
        // An invalid byte is escaped alone: the next one may start a valid sequence.
        const std::string_view sequence = path.substr(0, std::max<std::size_t>(length, 1));
        if (length == 0 || IsControlSequence(sequence))
            AppendEscaped(text, sequence);
        else
            text.append(sequence);
        path.remove_prefix(sequence.size());
    }
    return text;
}

} // namespace tollamere
