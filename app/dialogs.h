#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace tollamere {

enum class MessageIcon { None, Warning };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

// Every question the window asks the user goes through here, so that a test
// can answer in the user's place. Texts may carry CR LF and CR as line breaks.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Full paths in the dialog's order; empty when the user cancelled.
    virtual QStringList OpenFiles(const QString& title, const QString& filter) = 0;
    // The chosen folder, or the empty text when the user cancelled.
    virtual QString BrowseForFolder(const QString& title) = 0;
    // The answer as typed, or nothing when the user cancelled.
    virtual std::optional<QString> AskText(const QString& title, const QString& prompt, const QString& preset) = 0;
    virtual MessageAnswer Message(const QString& title, const QString& text, MessageIcon icon,
                                  MessageButtons buttons) = 0;
    // Shows the folder in the system's file manager; the outcome is not examined.
    virtual void OpenFolderInFileManager(const QString& path) = 0;
};

} // namespace tollamere
