// SPDX-License-Identifier: MIT
#pragma once

#include "dialogs.h"

#include <QPointer>
#include <QWidget>

namespace tollamere {

// The dialogs a user sees: Qt's file and folder dialogs, input box and
// message box, owned by the main window once it exists.
class QtDialogs final : public Dialogs {
public:
    void SetOwner(QWidget* owner) { owner_ = owner; }

    QStringList OpenFiles(const QString& title, const QString& filter, const QString& startFolder) override;
    QString BrowseForFolder(const QString& title, const QString& startFolder) override;
    std::optional<QString> AskText(const QString& title, const QString& prompt, const QString& preset) override;
    MessageAnswer Message(const QString& title, const QString& text, MessageIcon icon,
                          MessageButtons buttons) override;
    void ShowRunReport(const QString& title, const QString& text,
                       std::function<void(RunReportAnswer)> answered) override;
    void CloseRunReport() override;
    std::optional<OutputOptions> EditOutputOptions(const QString& title, const OutputOptions& current) override;
    std::optional<NamedLook> EditLook(const QString& title, const NamedLook& current,
                                      std::function<void(const NamedLook&)> trying) override;
    void OpenFolderInFileManager(const QString& path) override;

private:
    QPointer<QWidget> owner_;
    QPointer<QWidget> report_;
};

} // namespace tollamere
