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
#include "parameter_checks.h"
#include "runtime_error.h"
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
// The end's "open the output folder", after the run's own steps.
constexpr int LineOpenOutputFolder = 200;

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
    // Reported where the run would report them for every item, its effect's
    // step, with the box at fault and what it takes.
    return RunStep(ConversionHandler, LineBevel, [&] {
        if (const std::optional<RefusedBox> refused = FirstRefusedBox(
                txtBevelSize->text(), txtLightAngle->text(), txtLightElevation->text(), LocaleDecimalSeparator()))
            throw RuntimeError(ErrorNumber::InvalidProcedureCall,
                               refused->check.description + " (" + BoxName(refused->box).toStdString() + ": " +
                                   BoxRange(refused->box).toStdString() + ")");
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
    // A report still open is taken away: the user has answered the run.
    if (std::exchange(reportOpen_, false))
        dialogs_.CloseRunReport();
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
    // A run ends what Ctrl+Z can bring back.
    removals_.clear();
    noteTimer_.stop();
    skippedPaths_ = 0;
    reportsSilenced_ = false;
    itemsEnded_ = 0;
    runClock_.start();
    ConversionJob::Handlers handlers;
    handlers.started = [this](const ItemStart& start) { ShowConversionProgress(start); };
    handlers.failure = [this](const ConversionFailure& failure) { ShowConversionFailure(failure); };
    // A row written in several formats or sizes keeps a failure of any of
    // them, and names its first output.
    handlers.written = [this](std::size_t row, const std::string& outputPath) {
        if (inputList_->Row(static_cast<int>(row)).outcome == RowOutcome::None)
            inputList_->SetWritten(static_cast<int>(row), outputPath);
    };
    handlers.ended = [this](const ItemResult& result) {
        ++itemsEnded_;
        if (result.outcome == ItemResult::Outcome::Skipped)
            inputList_->SetOutcome(static_cast<int>(result.row), RowOutcome::Skipped, result.reason);
    };
    handlers.finished = [this] { FinishConversion(); };
    conversion_ = std::make_unique<ConversionJob>(this, std::move(request), std::move(handlers));
    UpdateCommands();
}

void Form1::ShowConversionProgress(const ItemStart& start)
{
    ProgressBar1->setValue(static_cast<int>(std::nearbyint(std::clamp(start.Percent(), 0.0, 100.0))));
    // The time left at the pace of the items ended so far.
    std::optional<double> secondsLeft;
    if (itemsEnded_ > 0 && start.items >= itemsEnded_)
        secondsLeft = static_cast<double>(runClock_.elapsed()) / 1000.0 / static_cast<double>(itemsEnded_) *
                      static_cast<double>(start.items - itemsEnded_);
    ProgressBar1->SetCaption(ProgressCaption(start, secondsLeft));
}

void Form1::ShowConversionFailure(const ConversionFailure& failure)
{
    inputList_->SetOutcome(static_cast<int>(failure.row), failure.refused ? RowOutcome::Refused : RowOutcome::Failed,
                           failure.description);
    // One report at a time, and none once the user stopped the run or asked
    // for no more; the rows and the end's counts say the rest.
    if (reportsSilenced_ || reportOpen_ || closing_ || !conversion_ || conversion_->StopRequested())
        return;
    const std::string file = QDir::toNativeSeparators(FromUtf8(Printable(failure.inputPath))).toStdString();
    reportOpen_ = true;
    dialogs_.ShowRunReport(
        QString::fromUtf8(FailureReportTitle.data(), static_cast<qsizetype>(FailureReportTitle.size())),
        FromUtf8(FailureReportText(failure.description + " (" + file + ")", ConversionHandler, failure.lineNumber)),
        [this](RunReportAnswer reply) {
            reportOpen_ = false;
            if (reply.showNoMore)
                reportsSilenced_ = true;
            if (reply.stopRun)
                StopConversion();
        });
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
    // A stopped run says so, and what it did.
    if ((summary || stopped) && !(stopped && runFailure) && !closing_) {
        const QString folder = Text1->text();
        if (dialogs_.Message(applicationTitle_, DoneMessageFor(*inputList_, stopped), MessageIcon::None,
                             MessageButtons::OkOpenFolder) == MessageAnswer::OpenFolder)
            RunStep(ConversionHandler, LineOpenOutputFolder, [&] { dialogs_.OpenFolderInFileManager(folder); });
    }
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
