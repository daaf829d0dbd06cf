// SPDX-License-Identifier: MIT
#include "failure_report.h"

namespace tollamere {

std::string FailureReportText(std::string_view description, std::string_view handlerName, int lineNumber)
{
    std::string text(description);
    text += "\r\n";
    text += "in Quorrik2016/11/03.Form1.";
    text += handlerName;
    text += ' ';
    text += "at line ";
    text += std::to_string(lineNumber);
    text += "\r\r";
    text += "Please email screenshot of this message to ";
    text += SupportAddress;
    return text;
}

} // namespace tollamere
