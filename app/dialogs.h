// SPDX-License-Identifier: MIT
#pragma once

#include "look_file.h"
#include "output_options.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tollamere {

enum class MessageIcon { None, Warning };
// OkOpenFolder: OK, and a button that opens the output folder.
enum class MessageButtons { Ok, YesNo, OkOpenFolder };
enum class MessageAnswer { Ok, Yes, No, OpenFolder };

// How the user closed a run's failure report: OK goes on, Escape stops the
// run; the box "Don't show further reports in this run" may be ticked.
struct RunReportAnswer {
    bool stopRun = false;
    bool showNoMore = false;
};

inline const QString ShowNoMoreReportsText = QStringLiteral("&Don't show further reports in this run");
inline const QString OpenOutputFolderCaption = QStringLiteral("Open Output &Folder");

// Every question the window asks the user goes through here, so that a test
// can answer in the user's place. Texts may carry CR LF and CR as line breaks.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Full paths in the dialog's order; empty when the user cancelled. The
    // dialogs open in startFolder when it is not empty.
    virtual QStringList OpenFiles(const QString& title, const QString& filter, const QString& startFolder) = 0;
    // The chosen folder, or the empty text when the user cancelled.
    virtual QString BrowseForFolder(const QString& title, const QString& startFolder) = 0;
    // The answer as typed, or nothing when the user cancelled.
    virtual std::optional<QString> AskText(const QString& title, const QString& prompt, const QString& preset) = 0;
    virtual MessageAnswer Message(const QString& title, const QString& text, MessageIcon icon,
                                  MessageButtons buttons) = 0;
    // A run's failure report (warning icon, OK, the "show no more" box). It
    // does not hold up the window, so that Stop stays usable while it shows;
    // answered runs once, when the user closes it. One report at a time.
    virtual void ShowRunReport(const QString& title, const QString& text,
                               std::function<void(RunReportAnswer)> answered) = 0;
    // Takes the open report away without an answer: the run was stopped.
    virtual void CloseRunReport() = 0;
    // The output options dialog, filled with the current options: the
    // options as the user left them, or nothing when cancelled. Only options
    // CheckOutputOptions accepts come back.
    virtual std::optional<OutputOptions> EditOutputOptions(const QString& title, const OutputOptions& current) = 0;
    // The look dialog, filled with the current look: trying is called with
    // each change while it is open; the look as the user left it, or
    // nothing when cancelled.
    virtual std::optional<NamedLook> EditLook(const QString& title, const NamedLook& current,
                                              std::function<void(const NamedLook&)> trying) = 0;
    // Shows the folder in the system's file manager; the outcome is not examined.
    virtual void OpenFolderInFileManager(const QString& path) = 0;
};

} // namespace tollamere
