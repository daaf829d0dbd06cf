// SPDX-License-Identifier: MIT
// The window's commands on the input list: Add Image File(s), Add All File(s)
// In Folder and its scan, drops, Clear List, removing rows, the samples.
#include "Form1.h"

#include "folder_scan.h"
#include "handler_names.h"
#include "input_list_model.h"
#include "input_list_view.h"
#include "captioned_progress_bar.h"
#include "settings_keys.h"
#include "window_texts.h"

#include <QFile>
#include <QFileInfo>
#include <QLineEdit>

#include <algorithm>
#include <numeric>
#include <unordered_set>

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
    std::vector<std::string> encoded;
    for (const QString& path : paths)
        encoded.push_back(QFile::encodeName(path).toStdString());
    RunStep(AddFilesHandler, 132, [&] { AppendRows(std::move(encoded)); });
}

void Form1::PushButton5_Click()
{
    RunStep(ClearHandler, 100, [&] {
        std::vector<int> rows(static_cast<std::size_t>(inputList_->RowCount()));
        std::iota(rows.begin(), rows.end(), 0);
        RemoveRows(std::move(rows));
    });
}

void Form1::AppendRows(std::vector<std::string> paths, const std::vector<std::string>& scannedFolders)
{
    if (paths.empty())
        return;
    std::unordered_set<std::string> listed;
    for (int row = 0; row < inputList_->RowCount(); ++row)
        listed.insert(inputList_->Row(row).path);
    std::vector<std::string> fresh;
    fresh.reserve(paths.size());
    int skipped = 0;
    for (std::string& path : paths) {
        if (listed.insert(path).second)
            fresh.push_back(std::move(path));
        else
            ++skipped;
    }
    inputList_->Append(std::move(fresh), scannedFolders);
    if (skipped > 0) {
        skippedPaths_ += skipped;
        ShowNote(skippedPaths_ == 1 ? QStringLiteral("1 file was already in the list and was skipped")
                                    : QStringLiteral("%1 files were already in the list and were skipped").arg(skippedPaths_));
    }
}

void Form1::RemoveRows(std::vector<int> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::vector<std::pair<int, InputRow>> removed;
    for (const int row : rows)
        if (row >= 0 && row < inputList_->RowCount())
            removed.emplace_back(row, inputList_->Row(row));
    if (removed.empty())
        return;
    if (removed.size() == static_cast<std::size_t>(inputList_->RowCount()))
        inputList_->Clear();
    else
        // From the last, so that the rows still to go keep their numbers.
        for (auto row = removed.rbegin(); row != removed.rend(); ++row)
            inputList_->Remove(row->first);
    removals_.push_back(std::move(removed));
    ShowNote(QStringLiteral("Ctrl+Z brings back the rows removed"));
}

void Form1::UndoRemoval()
{
    if (removals_.empty() || IsConverting())
        return;
    std::vector<std::pair<int, InputRow>> removed = std::move(removals_.back());
    removals_.pop_back();
    // A path listed again since stays where it is now.
    std::unordered_set<std::string> listed;
    for (int row = 0; row < inputList_->RowCount(); ++row)
        listed.insert(inputList_->Row(row).path);
    for (auto& [row, restored] : removed)
        if (!listed.contains(restored.path))
            inputList_->Insert(row, std::move(restored));
}

void Form1::ShowNote(const QString& note)
{
    if (IsConverting())
        return;
    ProgressBar1->SetCaption(note);
    noteTimer_.start();
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
    RemoveRows(std::move(rows));
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
        AppendRows(scan.job->TakeRows(), scan.folders);
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
    std::vector<std::string> samples;
    for (const std::string& name : names)
        samples.push_back(samplesPath + '/' + name);
    RunStep(SamplesHandler, 104, [&] { AppendRows(std::move(samples)); });
    MessageAnswer answer = MessageAnswer::No;
    RunStep(SamplesHandler, 106, [&] {
        answer = dialogs_.Message(applicationTitle_, SamplesQuestion, MessageIcon::None, MessageButtons::YesNo);
    });
    if (answer == MessageAnswer::Yes)
        RunStep(SamplesHandler, 108, [&] { dialogs_.OpenFolderInFileManager(samplesFolder + QLatin1Char('/')); });
}

} // namespace tollamere
