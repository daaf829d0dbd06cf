// SPDX-License-Identifier: MIT
// The window's commands on the input list: Add Image File(s), Add All File(s)
// In Folder and its scan, drops, Clear List, removing rows, the samples.
#include "Form1.h"

#include "folder_scan.h"
#include "handler_names.h"
#include "input_list_model.h"
#include "input_list_view.h"
#include "settings_keys.h"
#include "window_texts.h"

#include <QFile>
#include <QFileInfo>
#include <QLineEdit>

#include <algorithm>

namespace tollamere {

namespace {

// The Add All scan as a whole ([110-128]) and the step that ends its busy state.
constexpr int AddAllScanLine = 110;
constexpr int AddAllPointerLine = 130;

} // namespace

void Form1::PushButton1_Click()
{
    QStringList paths;
    RunStep(AddFilesHandler, 108,
            [&] { paths = dialogs_.OpenFiles(OpenFilesTitle, PictureFilter, StartFolder(KeyAddFilesFolder)); });
    if (RunTest(AddFilesHandler, 110, [&] { return paths.isEmpty(); }))
        return;
    StoreSetting(KeyAddFilesFolder, QFileInfo(paths.front()).absolutePath());
    // The dialog hands over decoded text; the file system wants the bytes back.
    for (const QString& path : paths)
        RunStep(AddFilesHandler, 132, [&] { AppendRow(QFile::encodeName(path).toStdString()); });
}

void Form1::PushButton5_Click()
{
    RunStep(ClearHandler, 100, [&] { inputList_->Clear(); });
}

void Form1::ListView1_RemoveSelectedRow()
{
    if (IsBusy() || IsConverting())
        return;
    if (inputList_->RowCount() == 0)
        return;
    std::vector<int> rows;
    for (const QModelIndex& index : ListView1->selectionModel()->selectedRows())
        rows.push_back(index.row());
    // From the last, so that the rows still to go keep their numbers.
    std::sort(rows.rbegin(), rows.rend());
    for (const int row : rows)
        inputList_->Remove(row);
}

void Form1::PushButton3_Click()
{
    std::optional<QString> extension;
    RunStep(AddAllHandler, 100,
            [&] { extension = dialogs_.AskText(applicationTitle_, ExtensionPrompt, ExtensionPreset); });
    if (RunTest(AddAllHandler, 102, [&] { return !extension || extension->isEmpty(); }))
        return;
    QString folder;
    RunStep(AddAllHandler, 104, [&] { folder = dialogs_.BrowseForFolder(FolderPrompt, StartFolder(KeyAddAllFolder)); });
    if (RunTest(AddAllHandler, 106, [&] { return folder.isEmpty(); }))
        return;
    StoreSetting(KeyAddAllFolder, folder);
    RunStep(AddAllHandler, 108, [&] { setCursor(Qt::WaitCursor); });
    ++addAllScansRunning_;

    // The scan runs on its own thread; the command's last step runs in
    // FinishScan once it has ended.
    const std::string folderText = QFile::encodeName(folder).toStdString();
    const std::string pattern = "*." + extension->toStdString();
    ScanExclusions exclusions;
    exclusions.outputFolder = Text1->text().toStdString();
    const bool started = RunStep(AddAllHandler, AddAllScanLine, [&] {
        StartScan(ScanKind::AddAll, {folderText},
                  [folderText, pattern, exclusions](const RowSink& addRow, std::stop_token stop) {
                      AddFolderFiles(folderText, pattern, addRow, std::move(stop), {}, exclusions);
                  });
    });
    if (!started)
        EndAddAllBusy();
}

void Form1::ListView1_Drop(const std::vector<std::string>& paths)
{
    if (IsConverting())
        return;
    RunStep(DropHandler, 100, [&] {
        ScanExclusions exclusions;
        exclusions.outputFolder = Text1->text().toStdString();
        StartScan(ScanKind::Drop, paths, [dropped = paths, exclusions](const RowSink& addRow, std::stop_token stop) {
            AddDroppedPaths(dropped, addRow, std::move(stop), exclusions);
        });
    });
}

void Form1::AddStartupPaths(const std::vector<std::string>& paths)
{
    if (!paths.empty())
        ListView1_Drop(paths);
}

void Form1::StartScan(ScanKind kind, std::vector<std::string> folders, ScanJob::Scan scan)
{
    const std::uint64_t id = ++lastScanId_;
    auto job = std::make_unique<ScanJob>(this, std::move(scan), [this, id] { FinishScan(id); });
    scans_.push_back(Scan{id, kind, std::move(folders), std::move(job)});
    if (!scanRowsTimer_.isActive())
        scanRowsTimer_.start();
}

void Form1::AppendScannedRows()
{
    for (const Scan& scan : scans_)
        inputList_->Append(scan.job->TakeRows(), scan.folders);
}

void Form1::FinishScan(std::uint64_t id)
{
    const auto found = std::find_if(scans_.begin(), scans_.end(), [id](const Scan& scan) { return scan.id == id; });
    if (found == scans_.end())
        return;
    AppendScannedRows();
    Scan finished = std::move(*found);
    scans_.erase(found);
    if (scans_.empty())
        scanRowsTimer_.stop();
    const std::optional<std::string> failure = finished.job->Failure();
    finished.job.reset();

    if (finished.kind == ScanKind::Drop) {
        if (failure)
            ShowFailureReport(*failure, DropHandler, 100);
        return;
    }
    if (failure)
        ShowFailureReport(*failure, AddAllHandler, AddAllScanLine);
    EndAddAllBusy();
}

void Form1::EndAddAllBusy()
{
    // With two Add All scans at once, the first to end must not clear the
    // busy state of the other.
    if (--addAllScansRunning_ == 0)
        RunStep(AddAllHandler, AddAllPointerLine, [&] { setCursor(Qt::ArrowCursor); });
}

void Form1::PushButton6_Click()
{
    const QString samplesFolder = environment_.programFolder + QStringLiteral("/Samples");
    const std::string samplesPath = QFile::encodeName(samplesFolder).toStdString();
    std::vector<std::string> names;
    RunStep(SamplesHandler, 100, [&] { names = ListFiles(samplesPath, std::string(AllFilesPattern)); });
    for (const std::string& name : names)
        RunStep(SamplesHandler, 104, [&] { AppendRow(samplesPath + '/' + name); });
    MessageAnswer answer = MessageAnswer::No;
    RunStep(SamplesHandler, 106, [&] {
        answer = dialogs_.Message(applicationTitle_, SamplesQuestion, MessageIcon::None, MessageButtons::YesNo);
    });
    if (answer == MessageAnswer::Yes)
        RunStep(SamplesHandler, 108, [&] { dialogs_.OpenFolderInFileManager(samplesFolder + QLatin1Char('/')); });
}

} // namespace tollamere
