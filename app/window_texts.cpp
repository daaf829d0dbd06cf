// SPDX-License-Identifier: MIT
#include "window_texts.h"

#include "format_texts.h"

#include "path_text.h"
#include "runtime_error.h"

#include <cmath>

namespace tollamere {

const QString PictureFilter = PictureFilterText();
const QString HelpText =
    QStringLiteral("This software reads and writes ") + ReadWrittenFormatNames() +
    QStringLiteral(" pictures; each output takes the format of its input unless Options... beside the output folder "
                   "chooses another. Options... also keeps sub-folders, names the outputs, skips or renames "
                   "existing files and sets the quality. It also reads ") + ReadOnlyFormatNamesText() +
    QStringLiteral(" files.\r\r"
                   "Keys: Ctrl+O adds files, Ctrl+Shift+O a folder, Ctrl+Return starts, Escape stops, Delete "
                   "removes the selected rows, Ctrl+Z brings removed rows back, Ctrl+A selects them all, Shift+F10 "
                   "opens the list's menu, Ctrl+P shows or hides the preview, Return on a preview pane opens it at "
                   "full size, F1 shows this help.");

QString ProgressCaption(const ItemStart& start, std::optional<double> secondsLeft)
{
    QString caption = QStringLiteral("%1 of %2 \u00B7 ").arg(start.item + 1).arg(start.items) +
                      QString::fromStdString(Printable(GetFileName(start.inputPath)));
    if (secondsLeft && *secondsLeft >= 0 && *secondsLeft < 360000) {
        const long long seconds = std::llround(*secondsLeft);
        caption += seconds >= 3600 ? QStringLiteral(" \u00B7 %1:%2:%3 left")
                                         .arg(seconds / 3600)
                                         .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                                         .arg(seconds % 60, 2, 10, QLatin1Char('0'))
                                   : QStringLiteral(" \u00B7 %1:%2 left").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    }
    return caption;
}

QString RefusalMessage(RunRefusal reason, const std::string& detail)
{
    switch (reason) {
    case RunRefusal::NoFiles: return NoFilesAddedMessage;
    case RunRefusal::OutputFolderMissing: return FolderMissingMessage;
    case RunRefusal::OutputOptions:
        return QStringLiteral("The output options cannot be used: ") + QString::fromStdString(detail) + QLatin1Char('.');
    }
    return FolderMissingMessage;
}

QString DoneMessageFor(const InputListModel& rows, bool stopped)
{
    int written = 0;
    int skipped = 0;
    int failed = 0;
    int refused = 0;
    int notConverted = 0;
    for (int row = 0; row < rows.RowCount(); ++row) {
        switch (rows.Row(row).outcome) {
        case RowOutcome::Written: ++written; break;
        case RowOutcome::Skipped: ++skipped; break;
        case RowOutcome::Failed: ++failed; break;
        case RowOutcome::Refused: ++refused; break;
        case RowOutcome::NotConverted: ++notConverted; break;
        case RowOutcome::None: break;
        }
    }
    const QString first = stopped ? StoppedMessage : DoneMessage;
    if (failed == 0 && refused == 0 && notConverted == 0 && skipped == 0 && !stopped)
        return first;
    QString summary = first + QStringLiteral("\r\n%1 of %2 written").arg(written).arg(rows.RowCount());
    if (skipped > 0)
        summary += QStringLiteral(", %1 skipped (the file existed)").arg(skipped);
    if (failed > 0)
        summary += QStringLiteral(", %1 failed").arg(failed);
    if (refused > 0)
        summary += QStringLiteral(", %1 refused").arg(refused);
    if (notConverted > 0)
        summary += QStringLiteral(", %1 not converted").arg(notConverted);
    return summary;
}

} // namespace tollamere
