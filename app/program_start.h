// SPDX-License-Identifier: MIT
#pragma once

// What the program needs from outside the window before the window opens:
// where its own files are, and the paths it was started with.

#include <QString>

#include <string>
#include <vector>

class QCommandLineParser;

namespace tollamere {

// The folder that holds the program's own files (Samples, HAND-M.CUR, x/o.cjs):
// the executable's folder when any of them is there, as in a build tree;
// otherwise dataFromExecutable taken from the executable's folder when any
// of them is there, as after an install; otherwise the executable's folder.
QString FindProgramFolder(const QString& executableFolder,
                          const QString& dataFromExecutable = QStringLiteral("../share/tollamere"));

// The window's options and arguments, for --help and for parsing.
void DescribeCommandLine(QCommandLineParser& parser);

// True when the arguments ask for --help or --version, which are answered
// without opening a display.
bool AsksForHelpOrVersion(int argc, const char* const argv[]);

// The PATH arguments, bytes as given, made absolute against the current
// folder (so the list shows whole paths, as a drop does): every argument that
// is not an option, and every one after "--". Empty arguments name nothing
// and are left out.
std::vector<std::string> PathArguments(int argc, const char* const argv[]);

} // namespace tollamere
