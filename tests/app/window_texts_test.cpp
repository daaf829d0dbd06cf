// SPDX-License-Identifier: MIT
#include "app_test_support.h"
#include "window_texts.h"

namespace tollamere {

// The window's words for the run's events, beyond what a run in the window reaches.
class WindowTextsTest : public QObject {
    Q_OBJECT

private slots:
    void eventsGiveTheWindowsWords()
    {
        QCOMPARE(RefusalMessage(RunRefusal::NoFiles, {}), QStringLiteral("No files added."));
        QCOMPARE(RefusalMessage(RunRefusal::OutputFolderMissing, {}),
                 QStringLiteral("Folder does not exist. Please select another folder."));
        QCOMPARE(RefusalMessage(RunRefusal::OutputOptions, "the name pattern is empty"),
                 QStringLiteral("The output options cannot be used: the name pattern is empty."));
        // The count, the file's name only (a byte that is no text escaped), the time left.
        QCOMPARE(ProgressCaption(ItemStart{1, 3, "/in/deeper/x\xFF.png"}), QStringLiteral("2 of 3 \u00B7 x\\xFF.png"));
        QCOMPARE(ProgressCaption(ItemStart{11, 40, "/in/photo_17.jpg"}, 7.4),
                 QStringLiteral("12 of 40 \u00B7 photo_17.jpg \u00B7 0:07 left"));
        QCOMPARE(ProgressCaption(ItemStart{0, 900, "a.png"}, 3725.0), QStringLiteral("1 of 900 \u00B7 a.png \u00B7 1:02:05 left"));
    }

    void doneCountsEveryOutcome()
    {
        InputListModel rows;
        rows.Append(std::vector<std::string>{"/a.png", "/b.png", "/c.png", "/d.png"});
        for (int row = 0; row < rows.RowCount(); ++row)
            rows.SetOutcome(row, RowOutcome::Written);
        QCOMPARE(DoneMessageFor(rows), QStringLiteral("Done."));
        rows.SetOutcome(1, RowOutcome::Refused, "no format");
        rows.SetOutcome(2, RowOutcome::NotConverted);
        rows.SetOutcome(3, RowOutcome::Skipped, "exists");
        QCOMPARE(DoneMessageFor(rows),
                 QStringLiteral("Done.\r\n1 of 4 written, 1 skipped (the file existed), 1 refused, 1 not converted"));
        QCOMPARE(DoneMessageFor(rows, true),
                 QStringLiteral("Stopped.\r\n1 of 4 written, 1 skipped (the file existed), 1 refused, 1 not converted"));
    }
};

TOLLAMERE_REGISTER_TEST(WindowTextsTest)

} // namespace tollamere

#include "window_texts_test.moc"
