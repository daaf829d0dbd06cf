// SPDX-License-Identifier: MIT
#pragma once

// The window's handlers by the names the failure reports give them.

#include <string_view>

namespace tollamere {

constexpr std::string_view LoadHandler = "Form_Load";
constexpr std::string_view AddFilesHandler = "PushButton1_Click";
constexpr std::string_view ConversionHandler = "PushButton2_Click";
constexpr std::string_view AddAllHandler = "PushButton3_Click";
constexpr std::string_view HelpHandler = "PushButton4_Click";
constexpr std::string_view ClearHandler = "PushButton5_Click";
constexpr std::string_view SamplesHandler = "PushButton6_Click";
constexpr std::string_view BrowseHandler = "PushButton7_Click";
constexpr std::string_view OutputOptionsHandler = "PushButton8_Click";
constexpr std::string_view LookHandler = "PushButton9_Click";
constexpr std::string_view DropHandler = "ListView1_OLEDragDrop";

} // namespace tollamere
