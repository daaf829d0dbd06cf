#include "qt_dialogs.h"

#include "window_support.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>

namespace tollamere {

QStringList QtDialogs::OpenFiles(const QString& title, const QString& filter)
{
    return QFileDialog::getOpenFileNames(owner_, title, QString(), filter);
}

QString QtDialogs::BrowseForFolder(const QString& title)
{
    return QFileDialog::getExistingDirectory(owner_, title);
}

std::optional<QString> QtDialogs::AskText(const QString& title, const QString& prompt, const QString& preset)
{
    bool answered = false;
    const QString answer =
        QInputDialog::getText(owner_, title, DisplayText(prompt), QLineEdit::Normal, preset, &answered);
    if (!answered)
        return std::nullopt;
    return answer;
}

MessageAnswer QtDialogs::Message(const QString& title, const QString& text, MessageIcon icon, MessageButtons buttons)
{
    QMessageBox box(icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon, title,
                    DisplayText(text),
                    buttons == MessageButtons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, owner_);
    const int answer = box.exec();
    if (buttons == MessageButtons::Ok)
        return MessageAnswer::Ok;
    return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

void QtDialogs::OpenFolderInFileManager(const QString& path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace tollamere
