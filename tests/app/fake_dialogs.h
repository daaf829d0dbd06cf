// SPDX-License-Identifier: MIT
#pragma once

#include "dialogs.h"

#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace tollamere {

struct DialogCall {
    enum class Kind { OpenFiles, BrowseForFolder, AskText, Message, OpenFolder, OutputOptions, Look };
    Kind kind = Kind::Message;
    QString title;
    // The prompt, message text or folder path; the filter of OpenFiles.
    QString text;
    QString preset;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
};

// Answers in the user's place from queues the test fills, and records every
// question. A question without a queued answer is answered "cancel" (or
// "No") and noted in unanswered, which a test should find empty.
class FakeDialogs final : public Dialogs {
public:
    std::deque<QStringList> files;
    std::deque<QString> folders;
    std::deque<std::optional<QString>> texts;
    std::deque<MessageAnswer> answers;
    std::deque<RunReportAnswer> reportAnswers;
    std::deque<std::optional<OutputOptions>> outputOptions;
    std::vector<OutputOptions> shownOptions;
    // Per look dialog: the looks tried while it is open, then its answer.
    std::deque<std::pair<std::vector<NamedLook>, std::optional<NamedLook>>> looks;
    std::vector<NamedLook> shownLooks;
    // Runs after each look tried, while the dialog is open.
    std::function<void(const NamedLook&)> onTry;
    bool reportShowing = false;
    // Runs as each message shows, before it is answered.
    std::function<void(const DialogCall&)> onMessage;

    std::vector<DialogCall> calls;
    QStringList unanswered;

    QStringList OpenFiles(const QString& title, const QString& filter, const QString& startFolder) override
    {
        DialogCall call = Call(DialogCall::Kind::OpenFiles, title, filter);
        call.preset = startFolder;
        calls.push_back(call);
        return Next(files, QStringLiteral("OpenFiles"), QStringList());
    }

    QString BrowseForFolder(const QString& title, const QString& startFolder) override
    {
        DialogCall call = Call(DialogCall::Kind::BrowseForFolder, title, QString());
        call.preset = startFolder;
        calls.push_back(call);
        return Next(folders, QStringLiteral("BrowseForFolder"), QString());
    }

    std::optional<QString> AskText(const QString& title, const QString& prompt, const QString& preset) override
    {
        DialogCall call = Call(DialogCall::Kind::AskText, title, prompt);
        call.preset = preset;
        calls.push_back(call);
        if (texts.empty()) {
            unanswered.push_back(QStringLiteral("AskText"));
            return std::nullopt;
        }
        const std::optional<QString> answer = texts.front();
        texts.pop_front();
        return answer;
    }

    MessageAnswer Message(const QString& title, const QString& text, MessageIcon icon,
                          MessageButtons buttons) override
    {
        DialogCall call = Call(DialogCall::Kind::Message, title, text);
        call.icon = icon;
        call.buttons = buttons;
        calls.push_back(call);
        if (onMessage)
            onMessage(call);
        if (buttons == MessageButtons::Ok || (buttons == MessageButtons::OkOpenFolder && answers.empty()))
            return MessageAnswer::Ok;
        return Next(answers, QStringLiteral("Message: ") + text, MessageAnswer::No);
    }

    // Recorded as a message with a warning icon and OK. While onMessage runs
    // the report is showing; unless it was taken away meanwhile, it is then
    // answered from reportAnswers (OK, nothing ticked, when that is empty).
    void ShowRunReport(const QString& title, const QString& text,
                       std::function<void(RunReportAnswer)> answered) override
    {
        DialogCall call = Call(DialogCall::Kind::Message, title, text);
        call.icon = MessageIcon::Warning;
        calls.push_back(call);
        reportShowing = true;
        if (onMessage)
            onMessage(call);
        if (!reportShowing)
            return;
        reportShowing = false;
        RunReportAnswer answer;
        if (!reportAnswers.empty()) {
            answer = reportAnswers.front();
            reportAnswers.pop_front();
        }
        answered(answer);
    }

    void CloseRunReport() override { reportShowing = false; }

    std::optional<OutputOptions> EditOutputOptions(const QString& title, const OutputOptions& current) override
    {
        calls.push_back(Call(DialogCall::Kind::OutputOptions, title, QString::fromStdString(current.namePattern)));
        shownOptions.push_back(current);
        return Next(outputOptions, QStringLiteral("EditOutputOptions"), std::optional<OutputOptions>());
    }

    std::optional<NamedLook> EditLook(const QString& title, const NamedLook& current,
                                      std::function<void(const NamedLook&)> trying) override
    {
        calls.push_back(Call(DialogCall::Kind::Look, title, QString::fromStdString(current.name)));
        shownLooks.push_back(current);
        const auto script = Next(looks, QStringLiteral("EditLook"),
                                 std::pair<std::vector<NamedLook>, std::optional<NamedLook>>());
        for (const NamedLook& look : script.first) {
            trying(look);
            if (onTry)
                onTry(look);
        }
        return script.second;
    }

    void OpenFolderInFileManager(const QString& path) override
    {
        calls.push_back(Call(DialogCall::Kind::OpenFolder, QString(), path));
    }

    std::vector<DialogCall> Calls(DialogCall::Kind kind) const
    {
        std::vector<DialogCall> found;
        for (const DialogCall& call : calls)
            if (call.kind == kind)
                found.push_back(call);
        return found;
    }

    QStringList MessageTexts() const
    {
        QStringList texts;
        for (const DialogCall& call : Calls(DialogCall::Kind::Message))
            texts.push_back(call.text);
        return texts;
    }

private:
    static DialogCall Call(DialogCall::Kind kind, const QString& title, const QString& text)
    {
        DialogCall call;
        call.kind = kind;
        call.title = title;
        call.text = text;
        return call;
    }

    template <typename Answer>
    Answer Next(std::deque<Answer>& queue, const QString& question, Answer cancelled)
    {
        if (queue.empty()) {
            unanswered.push_back(question);
            return cancelled;
        }
        Answer answer = std::move(queue.front());
        queue.pop_front();
        return answer;
    }
};

} // namespace tollamere
