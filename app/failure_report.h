// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

namespace tollamere {

inline constexpr std::string_view SupportAddress = "support@tollamere.app";
inline constexpr std::string_view FailureReportTitle = "Application Error";

// The text of the failure report a command handler shows: the description,
// CR LF, where it arose (handler and step line number), CR CR, and whom to tell.
std::string FailureReportText(std::string_view description, std::string_view handlerName, int lineNumber);

} // namespace tollamere
