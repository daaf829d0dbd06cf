// SPDX-License-Identifier: MIT
#include "qt_dialogs.h"

#include "look_dialog.h"
#include "output_options_dialog.h"
#include "window_support.h"

#include <QCheckBox>
#include <QPushButton>
#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QShortcut>
#include <QUrl>

#include <memory>
#include <utility>

namespace tollamere {

QStringList QtDialogs::OpenFiles(const QString& title, const QString& filter, const QString& startFolder)
{
    return QFileDialog::getOpenFileNames(owner_, title, startFolder, filter);
}

QString QtDialogs::BrowseForFolder(const QString& title, const QString& startFolder)
{
    return QFileDialog::getExistingDirectory(owner_, title, startFolder);
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
    QAbstractButton* openFolder = nullptr;
    if (buttons == MessageButtons::OkOpenFolder)
        openFolder = box.addButton(OpenOutputFolderCaption, QMessageBox::ActionRole);
    box.setDefaultButton(buttons == MessageButtons::YesNo ? QMessageBox::Yes : QMessageBox::Ok);
    const int answer = box.exec();
    if (openFolder != nullptr && box.clickedButton() == openFolder)
        return MessageAnswer::OpenFolder;
    if (buttons != MessageButtons::YesNo)
        return MessageAnswer::Ok;
    return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

void QtDialogs::ShowRunReport(const QString& title, const QString& text, std::function<void(RunReportAnswer)> answered)
{
    CloseRunReport();
    auto* box = new QMessageBox(QMessageBox::Warning, title, DisplayText(text), QMessageBox::Ok, owner_);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    auto* showNoMore = new QCheckBox(ShowNoMoreReportsText, box);
    box->setCheckBox(showNoMore);
    // Once answered, closing the box must not answer again.
    auto answer = std::make_shared<std::function<void(RunReportAnswer)>>(std::move(answered));
    const auto reply = [answer, showNoMore](bool stopRun) {
        if (const auto call = std::exchange(*answer, {}))
            call(RunReportAnswer{stopRun, showNoMore->isChecked()});
    };
    QObject::connect(box, &QMessageBox::finished, box, [reply] { reply(false); });
    // Escape stops the run, as it does in the window, rather than meaning OK.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), box);
    QObject::connect(escape, &QShortcut::activated, box, [reply, box] {
        reply(true);
        box->close();
    });
    report_ = box;
    box->show();
    // Above the middle of the window, clear of the Stop button at its foot.
    if (owner_) {
        const QRect frame = owner_->frameGeometry();
        box->move(frame.center().x() - box->width() / 2, frame.top() + frame.height() / 6);
    }
}

void QtDialogs::CloseRunReport()
{
    if (!report_)
        return;
    QWidget* report = report_;
    report_ = nullptr;
    // Taken away, not answered: the disconnect keeps finished from replying.
    QObject::disconnect(report, nullptr, nullptr, nullptr);
    report->close();
}

std::optional<OutputOptions> QtDialogs::EditOutputOptions(const QString& title, const OutputOptions& current)
{
    OutputOptionsDialog dialog(current, owner_);
    dialog.setWindowTitle(title);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.Options();
}

std::optional<NamedLook> QtDialogs::EditLook(const QString& title, const NamedLook& current,
                                            std::function<void(const NamedLook&)> trying)
{
    LookDialog dialog(current, LookStore(), owner_);
    dialog.setWindowTitle(title);
    QObject::connect(&dialog, &LookDialog::LookChanged, &dialog, [&trying](const NamedLook& look) { trying(look); });
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.Look();
}

void QtDialogs::OpenFolderInFileManager(const QString& path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace tollamere
