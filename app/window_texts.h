// SPDX-License-Identifier: MIT
#pragma once

// The words the main window shows: titles, prompts, captions, the help, and
// what it says of a conversion run, which reports events, not texts.

#include "conversion_run.h"
#include "input_list_model.h"

#include <QString>

#include <optional>
#include <string>

namespace tollamere {

const QString OutputOptionsTitle = QStringLiteral("Output Options");
const QString LookTitle = QStringLiteral("Look");

const QString OpenFilesTitle = QStringLiteral("Add File(s) - Hold Ctrl or Shift to select multiple files");
// The file dialog's filter of the formats the program reads and writes (with
// the upper-case extensions, Linux names being case-sensitive), from the
// format registry.
extern const QString PictureFilter;
const QString FolderPrompt = QStringLiteral("Please select folder:");
const QString ExtensionPrompt = QStringLiteral(
    "Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for all doc files, etc.)");
const QString ExtensionPreset = QStringLiteral("*");
const QString SamplesQuestion =
    QStringLiteral("Would you like this software to open the folder where these sample files are stored (so that "
                   "you can view them before working with them)?");
// The help, whose format names come from the format registry.
extern const QString HelpText;
const QString ListHint =
    QStringLiteral("Drag and drop files here. Double-click item to remove it. Move | line to right and out of "
                   "window to reveal full names.");
const QString ColumnHeader = QStringLiteral("Image File(s)");
const QString StartCaption = QStringLiteral("S&tart Converting");
const QString StopCaption = QStringLiteral("&Stop");
const QString CopyFailedRowsCaption = QStringLiteral("Copy Failed Rows");
const QString RemoveWrittenRowsCaption = QStringLiteral("Remove Written Rows");

// The progress bar's text between runs.
const QString IdleProgressText = QStringLiteral("Progress Bar");
const QString DoneMessage = QStringLiteral("Done.");
const QString StoppedMessage = QStringLiteral("Stopped.");
const QString NoFilesAddedMessage = QStringLiteral("No files added.");
const QString FolderMissingMessage = QStringLiteral("Folder does not exist. Please select another folder.");

// The progress bar's text while the item's pass runs: "12 of 40 · name",
// and the time left when it is known.
QString ProgressCaption(const ItemStart& start, std::optional<double> secondsLeft = std::nullopt);

// The message of a run that refused to start.
QString RefusalMessage(RunRefusal reason, const std::string& detail);

// "Done." (or "Stopped." for a run the user stopped), and when not every row
// was written, what became of the rows on the next line.
QString DoneMessageFor(const InputListModel& rows, bool stopped = false);

} // namespace tollamere
