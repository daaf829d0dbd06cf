// SPDX-License-Identifier: MIT
// The window's "Start Converting" command: the run on other threads, its
// reports as they come, Stop, and what the window says at the run's end.
#include "Form1.h"

#include "captioned_progress_bar.h"
#include "failure_report.h"
#include "handler_names.h"
#include "input_list_model.h"
#include "input_list_view.h"
#include "numeric_text.h"
#include "run_steps.h"
#include "window_texts.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace tollamere {

namespace {

// The line a conversion reports when the run could not start or broke off as a whole.
constexpr int ConversionStartLine = 116;

QString FromUtf8(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

void Form1::PushButton2_Click()
{
    // While a run is active this button reads "Stop".
    if (IsConverting())
        return StopConversion();
    // Read once for the whole run, as the boxes hold them now.
    EffectParameters parameters =
        ReadEffectParameters(txtBevelSize->text().toStdString(), txtLightAngle->text().toStdString(),
                             txtLightElevation->text().toStdString(), LocaleDecimalSeparator());
    if (!CheckParametersBeforeRun(parameters))
        return;
    RunStep(ConversionHandler, ConversionStartLine, [&] { StartConversion(std::move(parameters)); });
}

bool Form1::CheckParametersBeforeRun(const EffectParameters& parameters)
{
    // The run's own guards speak first; they need no parameters.
    if (inputList_->RowCount() == 0 || FolderExists(Text1->text().toStdString()) != std::optional<bool>(true))
        return true;
    // Reported where the run would report them for every item: its effect's step.
    return RunStep(ConversionHandler, LineBevel, [&] {
        if (parameters.error)
            throw *parameters.error;
        CheckBevelParameters(parameters.parsed);
    });
}

void Form1::StopConversion()
{
    if (!IsConverting())
        return;
    conversion_->RequestStop();
    // A report that waits is taken away: the run ends without it.
    if (pendingReportAnswer_) {
        dialogs_.CloseRunReport();
        AnswerPendingReport();
    }
    UpdateCommands();
}

void Form1::StartConversion(EffectParameters parameters)
{
    ConversionRequest request;
    request.inputPaths = inputList_->Paths();
    request.inputRoots = inputList_->Roots();
    request.output = outputOptions_;
    request.outputFolder = Text1->text().toStdString();
    request.parameters = std::move(parameters);
    request.parameters.look = look_.look;
    request.workers = 0;

    inputList_->ClearOutcomes();
    reportsSilenced_ = false;
    ConversionJob::Handlers handlers;
    handlers.started = [this](const ItemStart& start) { ShowConversionProgress(start); };
    handlers.failure = [this](const ConversionFailure& failure, std::function<void()> answer) {
        ShowConversionFailure(failure, std::move(answer));
    };
    // A row written in several formats or sizes keeps a failure of any of them.
    handlers.written = [this](std::size_t row, const std::string&) {
        if (inputList_->Row(static_cast<int>(row)).outcome == RowOutcome::None)
            inputList_->SetOutcome(static_cast<int>(row), RowOutcome::Written);
    };
    handlers.skipped = [this](const ItemResult& result) {
        inputList_->SetOutcome(static_cast<int>(result.row), RowOutcome::Skipped, result.reason);
    };
    handlers.finished = [this] { FinishConversion(); };
    conversion_ = std::make_unique<ConversionJob>(this, std::move(request), std::move(handlers));
    UpdateCommands();
}

void Form1::ShowConversionProgress(const ItemStart& start)
{
    ProgressBar1->setValue(static_cast<int>(std::nearbyint(std::clamp(start.Percent(), 0.0, 100.0))));
    ProgressBar1->SetCaption(ProgressCaption(start));
}

void Form1::ShowConversionFailure(const ConversionFailure& failure, std::function<void()> answer)
{
    inputList_->SetOutcome(static_cast<int>(failure.row), failure.refused ? RowOutcome::Refused : RowOutcome::Failed,
                           failure.description);
    if (reportsSilenced_ || closing_)
        return answer();
    const std::string file = QDir::toNativeSeparators(FromUtf8(Printable(failure.inputPath))).toStdString();
    pendingReportAnswer_ = std::move(answer);
    dialogs_.ShowRunReport(
        QString::fromUtf8(FailureReportTitle.data(), static_cast<qsizetype>(FailureReportTitle.size())),
        FromUtf8(FailureReportText(failure.description + " (" + file + ")", ConversionHandler, failure.lineNumber)),
        [this](RunReportAnswer reply) {
            if (reply.showNoMore)
                reportsSilenced_ = true;
            if (reply.stopRun)
                StopConversion();
            AnswerPendingReport();
        });
}

void Form1::AnswerPendingReport()
{
    if (const auto answer = std::exchange(pendingReportAnswer_, {}))
        answer();
}

void Form1::FinishConversion()
{
    if (!conversion_)
        return;
    const std::optional<ConversionJob::Refusal> refusal = conversion_->Refused();
    const std::optional<ConversionSummary> summary = conversion_->Summary();
    const std::optional<std::string> runFailure = conversion_->RunFailure();
    const bool stopped = conversion_->StopRequested();
    conversion_.reset();
    pendingReportAnswer_ = nullptr;
    // A stopped run leaves the rows it never reached.
    if (stopped)
        for (int row = 0; row < inputList_->RowCount(); ++row)
            if (inputList_->Row(row).outcome == RowOutcome::None)
                inputList_->SetOutcome(row, RowOutcome::NotConverted);

    ProgressBar1->setValue(0);
    ProgressBar1->SetCaption(IdleProgressText);
    UpdateCommands();
    if (runFailure)
        ShowFailureReport(*runFailure, ConversionHandler, ConversionStartLine);
    if (refusal)
        ShowMessage(RefusalMessage(refusal->reason, refusal->detail));
    if (summary && !summary->stopped)
        ShowMessage(DoneMessageFor(*inputList_));
    // A stopped run gives no "Done." of its own, but says what it did.
    if (stopped && !runFailure && !closing_)
        ShowMessage(DoneMessageFor(*inputList_));
}

void Form1::UpdateCommands()
{
    const bool converting = IsConverting();
    for (QWidget* command : std::initializer_list<QWidget*>{PushButton1, PushButton3, PushButton5, PushButton6,
                                                            PushButton7, PushButton8, PushButton9, Text1, txtLightAngle,
                                                            txtLightElevation, txtBevelSize})
        command->setEnabled(!converting);
    ListView1->SetDropsAccepted(!converting);
    PushButton2->setText(converting ? StopCaption : StartCaption);
    PushButton2->setEnabled(!converting || !conversion_->StopRequested());
}

} // namespace tollamere
