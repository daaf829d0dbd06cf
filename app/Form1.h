// SPDX-License-Identifier: MIT
#pragma once

#include "folders.h"
#include "look_file.h"
#include "path_text.h"
#include "background_jobs.h"
#include "dialogs.h"
#include "input_list_model.h"

#include <QCursor>
#include <QElapsedTimer>
#include <QSettings>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tollamere {

class CaptionedProgressBar;
class InputListView;
class PreviewPane;

inline constexpr char ProductName[] = "Tollamere";

// What the window finds outside itself.
struct Form1Environment {
    // Where the optional HAND-M.CUR, x/o.cjs and Samples are looked for.
    QString programFolder;
    // The default output folder; raises when the platform has none.
    std::function<std::string()> desktopFolder = GetDesktopFolder;
    // The default output folder when the desktop folder does not exist.
    std::function<std::string()> fallbackOutputFolder = GetFallbackOutputFolder;
};

// The main window. Its commands are thin handlers over the conversion and
// input layers; long work runs on other threads and reports back here.
// Form1.cpp builds it and holds its start-up, settings and window life;
// list_commands.cpp the commands on the input list, conversion_commands.cpp
// the conversion run's.
class Form1 final : public QWidget {
    Q_OBJECT

public:
    Form1(Dialogs& dialogs, Form1Environment environment, QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up: look, caption, pointer, settings, list column. Runs once, before the window shows.
    void Form_Load();
    // The files and folders the program was started with, added as a drop adds them.
    void AddStartupPaths(const std::vector<std::string>& paths);

    QString ApplicationTitle() const { return applicationTitle_; }
    // The wait cursor is the window's one busy flag.
    bool IsBusy() const;
    bool IsConverting() const { return conversion_ != nullptr; }
    // The input list, the one store of its rows.
    const InputListModel& InputList() const { return *inputList_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class ScanKind { AddAll, Drop };
    struct Scan {
        std::uint64_t id = 0;
        ScanKind kind = ScanKind::AddAll;
        // What was scanned: the rows found take the folder they lie under
        // as their root.
        std::vector<std::string> folders;
        std::unique_ptr<ScanJob> job;
    };

    void CreateControls();
    void WireCommands();
    void SetTabOrder();
    // Places every control for the window's size: the design's places at the
    // design's size; the list, the preview's panes and the wide controls take
    // what the window has beyond it.
    void LayOutControls();
    // The file column as wide as its paths need, within limits, until the
    // user drags its divider; the result column takes the rest.
    void FitFileColumn();
    // The window's size, place and the list's columns, in the store.
    void RestoreWindowPlacement();
    void SaveWindowPlacement();

    void ApplySkin();
    void SetApplicationTitle();
    void RestoreOutputFolder();

    void PushButton1_Click();  // "Add Image File(s)"
    void PushButton2_Click();  // "Start Converting", "Stop" while a run is active
    void PushButton3_Click();  // "Add All File(s) In Folder"
    void PushButton4_Click();  // "Help"
    void PushButton5_Click();  // "Clear List"
    void PushButton6_Click();  // "Load Sample/Example File"
    void PushButton7_Click();  // "...", browse for the output folder
    void PushButton8_Click();  // "Options...", the output options
    void PushButton9_Click();  // "Look...", the bevel's look
    void ListView1_RemoveSelectedRow();
    void ListView1_Drop(const std::vector<std::string>& paths);

    // The parameters every item would fail on give one report before a run.
    bool CheckParametersBeforeRun(const EffectParameters& parameters);
    void StartConversion(EffectParameters parameters);
    void StopConversion();
    void ShowConversionProgress(const ItemStart& start);
    void ShowConversionFailure(const ConversionFailure& failure);
    void FinishConversion();

    void StartScan(ScanKind kind, std::vector<std::string> folders, ScanJob::Scan scan);
    void AppendScannedRows();
    void FinishScan(std::uint64_t id);
    void EndAddAllBusy();

    // Marks each parameter box by what it holds; the preview says the first refusal.
    void MarkParameterBoxes();
    QString ParameterProblem() const;

    // One place decides what may be used while a run is active.
    void UpdateCommands();
    void StopBackgroundWork();

    // Runs one numbered step of a handler; a failure shows the report naming
    // the handler and the line. False when the step failed.
    bool RunStep(std::string_view handler, int line, const std::function<void()>& step);
    // A test step: true when the test holds, and when it failed, since a
    // failing test goes on with the first step it guards.
    bool RunTest(std::string_view handler, int line, const std::function<bool()>& test);
    void ShowFailureReport(const std::string& description, std::string_view handler, int line);
    void ShowMessage(const QString& text);

    // Appends the paths not in the list yet, and says how many were not.
    void AppendRows(std::vector<std::string> paths, const std::vector<std::string>& scannedFolders = {});
    // Removes the rows, from the last, so that Ctrl+Z can bring them back.
    void RemoveRows(std::vector<int> rows);
    // Ctrl+Z: the rows the last removal took, back in their places.
    void UndoRemoval();
    // A short note in the progress bar's place while no run is active.
    void ShowNote(const QString& note);
    // Names the output options that differ from the defaults beside Options....
    void ShowOutputOptionsSummary();
    // The folder a dialog of this kind was left in last time, if it still exists.
    QString StartFolder(const QString& key);
    void StoreSetting(const QString& key, const QString& text);
    QString StoredSetting(const QString& key, const QString& fallback);
    void SetWindowPointer(const QCursor& cursor);
    // The look as the window's boxes and the preview show it, and its name.
    void ShowLook(const NamedLook& look);
    void ShowLookName();
    // The look with the boxes' numbers.
    NamedLook CurrentLook() const;
    // Shows or hides the preview beside the controls; the window widens to hold it.
    void ShowPreview(bool shown);

    Dialogs& dialogs_;
    // What the Output Options dialog set; the run writes by them.
    OutputOptions outputOptions_;
    // The look's choices, and the name of the listed look it is; its
    // numbers are the three boxes'.
    NamedLook look_;
    const Form1Environment environment_;
    QSettings settings_;
    QString applicationTitle_;
    QCursor handCursor_{Qt::PointingHandCursor};
    bool closing_ = false;

    std::unique_ptr<ConversionJob> conversion_;
    // A failure report is open; the run goes on meanwhile.
    bool reportOpen_ = false;
    // "Don't show further reports in this run" was ticked.
    bool reportsSilenced_ = false;
    // The items the run has ended, and its time so far, for the time left.
    std::size_t itemsEnded_ = 0;
    QElapsedTimer runClock_;
    std::vector<Scan> scans_;
    std::uint64_t lastScanId_ = 0;
    int addAllScansRunning_ = 0;
    QTimer scanRowsTimer_;
    // Removed rows with their places, last removal last; emptied by a run.
    std::vector<std::vector<std::pair<int, InputRow>>> removals_;
    // Paths skipped as already listed since the note last went away.
    int skippedPaths_ = 0;
    QTimer noteTimer_;
    bool centred_ = false;
    // The user dragged the file column's divider: its width is theirs.
    bool fileColumnChosen_ = false;
    bool fittingColumns_ = false;

    // The rows of ListView1; the view only shows them.
    InputListModel* inputList_ = nullptr;
    // picIn and picOut: the selected row and its result, when shown.
    PreviewPane* preview_ = nullptr;

    QGroupBox* Frame1 = nullptr;
    QLineEdit* txtBevelSize = nullptr;
    QLineEdit* txtLightElevation = nullptr;
    QLineEdit* txtLightAngle = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QLineEdit* Text1 = nullptr;
    QPushButton* PushButton7 = nullptr;
    QPushButton* PushButton8 = nullptr;
    QPushButton* PushButton9 = nullptr;
    QLabel* LookName = nullptr;
    QLabel* OptionsSummary = nullptr;
    QPushButton* PushButton4 = nullptr;
    // Shows and hides the preview, as Ctrl+P does.
    QPushButton* PreviewToggle = nullptr;
    QLabel* InputCaption = nullptr;
    QLabel* ResultCaption = nullptr;
    InputListView* ListView1 = nullptr;
    CaptionedProgressBar* ProgressBar1 = nullptr;
    QPushButton* PushButton1 = nullptr;
    QPushButton* PushButton3 = nullptr;
    QPushButton* PushButton2 = nullptr;
    QPushButton* PushButton5 = nullptr;
    QPushButton* PushButton6 = nullptr;
};

} // namespace tollamere
