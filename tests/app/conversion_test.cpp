// SPDX-License-Identifier: MIT
#include "app_test_support.h"
#include "format_registry.h"
#include "failure_report.h"
#include "picture_files.h"
#include "runtime_error.h"

#include <QAction>
#include <QLabel>
#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QThread>
#include <QUrl>

#include <filesystem>
#include <thread>

namespace tollamere {

namespace {

constexpr int RunTimeoutMs = 30000;

QPushButton* Button(const Form1& form, const char* name)
{
    return Find<QPushButton>(form, name);
}

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// What the picture loader says about a file it cannot read.
std::string LoadFailure(const QString& path)
{
    try {
        LoadPictureFile(path.toStdString());
    } catch (const RuntimeError& error) {
        return error.Description();
    }
    return {};
}

bool IsReport(const DialogCall& call)
{
    return call.title == QStringLiteral("Application Error");
}

} // namespace

// Start Converting from the window: the run on its worker threads, its
// reports, guards, stop and close.
class ConversionTest : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeDialogs> dialogs_;
    std::unique_ptr<Sandbox> sandbox_;
    std::unique_ptr<Form1> form_;

    // Lists the files and points the output folder at out/.
    void Prepare(const QStringList& inputs)
    {
        dialogs_->files = {inputs};
        QTest::mouseClick(Button(*form_, AddFilesButton), Qt::LeftButton);
        Find<QLineEdit>(*form_, "Text1")->setText(sandbox_->Folder(QStringLiteral("out")) + QLatin1Char('/'));
    }

    // A bad picture first, whose report comes at once, then enough pictures,
    // each taking a while, that most are still waiting then.
    QStringList LongList() const
    {
        QStringList inputs{sandbox_->File(QStringLiteral("in/bad.jpg"), "no picture")};
        const int count = 2 * static_cast<int>(std::max(1u, std::thread::hardware_concurrency())) + 4;
        for (int item = 1; item < count; ++item)
            inputs.push_back(sandbox_->Picture(QStringLiteral("in/p%1.bmp").arg(item, 2, 10, QLatin1Char('0')),
                                               QSize(600, 450)));
        return inputs;
    }

private slots:
    void init()
    {
        ClearStore();
        dialogs_ = std::make_unique<FakeDialogs>();
        sandbox_ = std::make_unique<Sandbox>();
        form_ = OpenWindow(*dialogs_, sandbox_->Path(QStringLiteral("program")));
    }

    void cleanup() { form_.reset(); }

    void runWritesEveryReadableFileAndReportsTheOther()
    {
        const QString first = sandbox_->Picture(QStringLiteral("in/first.bmp"));
        const QString bad = sandbox_->File(QStringLiteral("in/bad.jpg"), "this is no JPEG");
        const QString last = sandbox_->Picture(QStringLiteral("in/last.png"));
        Prepare({first, bad, last});
        auto* bar = Find<QProgressBar>(*form_, "ProgressBar1");
        QSignalSpy progress(bar, &QProgressBar::valueChanged);

        // Seen while the report waits for OK, with the run still active.
        bool addEnabled = true;
        bool outputEnabled = true;
        bool parameterEnabled = true;
        bool dropTaken = true;
        QString startCaption;
        int rowsAfterDelete = 0;
        dialogs_->onMessage = [&](const DialogCall& call) {
            if (!IsReport(call))
                return;
            addEnabled = Button(*form_, AddFilesButton)->isEnabled();
            outputEnabled = Find<QLineEdit>(*form_, "Text1")->isEnabled();
            parameterEnabled = Find<QLineEdit>(*form_, "txtLightAngle")->isEnabled();
            startCaption = Caption(*form_, StartButton);
            QTreeView* list = InputList(*form_);
            SelectRow(*form_, 0);
            QTest::keyClick(list, Qt::Key_Delete);
            rowsAfterDelete = RowCount(*form_);
            QMimeData files;
            files.setUrls({QUrl::fromLocalFile(first)});
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(list->viewport(), &enter);
            dropTaken = enter.isAccepted();
        };

        QTest::mouseClick(Button(*form_, StartButton), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form_->IsConverting(), RunTimeoutMs);

        const QString report = QString::fromStdString(FailureReportText(
            LoadFailure(bad) + " (" + QDir::toNativeSeparators(bad).toStdString() + ")", "PushButton2_Click", 154));
        QCOMPARE(dialogs_->MessageTexts(), (QStringList{report, QStringLiteral("Done.\r\n2 of 3 written, 1 failed")}));
        const DialogCall reportCall = dialogs_->calls.at(1);
        QCOMPARE(reportCall.icon, MessageIcon::Warning);
        QCOMPARE(dialogs_->calls.back().title, form_->ApplicationTitle());

        QCOMPARE(Entries(sandbox_->Path(QStringLiteral("out"))),
                 (QStringList{QStringLiteral("first.bmp"), QStringLiteral("last.png")}));
        QCOMPARE(QImage(sandbox_->Path(QStringLiteral("out/first.bmp"))).size(), QImage(first).size());
        QVERIFY(QImage(sandbox_->Path(QStringLiteral("out/last.png"))) != QImage(last));

        QVERIFY(!addEnabled);
        QVERIFY(!outputEnabled);
        QVERIFY(!parameterEnabled);
        QVERIFY(!dropTaken);
        QCOMPARE(startCaption, QStringLiteral("Stop"));
        QCOMPARE(rowsAfterDelete, 3);

        QList<int> values;
        for (const QList<QVariant>& signal : progress)
            values.push_back(signal.front().toInt());
        QCOMPARE(values, (QList<int>{33, 67, 100, 0}));
        QCOMPARE(bar->text(), QStringLiteral("Progress Bar"));
        QCOMPARE(Caption(*form_, StartButton), QStringLiteral("Start Converting"));
        QVERIFY(Button(*form_, AddFilesButton)->isEnabled());
        QVERIFY(Find<QLineEdit>(*form_, "txtLightAngle")->isEnabled());
    }

    // One conversion core: the window and the command line write the same
    // bytes for every format.
    void windowAndCommandLineWriteTheSameBytes()
    {
        const PictureFile letter = LoadPictureFile(sandbox_->Picture(QStringLiteral("f.png"), QSize(48, 40)).toStdString());
        QStringList inputs;
        for (const std::string& extension : WritableExtensions()) {
            inputs.push_back(sandbox_->Folder(QStringLiteral("in")) + QStringLiteral("/f.") + QString::fromStdString(extension));
            SavePictureFile(letter.picture, false, inputs.back().toStdString());
        }
        Prepare(inputs);
        QTest::mouseClick(Button(*form_, StartButton), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form_->IsConverting(), RunTimeoutMs);
        QVERIFY2(dialogs_->MessageTexts() == QStringList{QStringLiteral("Done.")}, qPrintable(dialogs_->MessageTexts().join(QLatin1Char('\n'))));

        const QString cliOut = sandbox_->Folder(QStringLiteral("cli"));
        QProcess cli;
        cli.start(QStringLiteral(TOLLAMERE_CLI), QStringList{QStringLiteral("-q"), QStringLiteral("-o"), cliOut} + inputs);
        QVERIFY(cli.waitForFinished(RunTimeoutMs));
        QCOMPARE(cli.exitCode(), 0);
        const QStringList names = Entries(cliOut);
        QCOMPARE(names.size(), inputs.size());
        QCOMPARE(Entries(sandbox_->Path(QStringLiteral("out"))), names);
        for (const QString& name : names) {
            QFile fromWindow(sandbox_->Path(QStringLiteral("out/") + name));
            QFile fromCli(cliOut + QLatin1Char('/') + name);
            QVERIFY(fromWindow.open(QIODevice::ReadOnly) && fromCli.open(QIODevice::ReadOnly));
            QVERIFY2(fromWindow.readAll() == fromCli.readAll(), qPrintable(name));
        }
    }

    // A dropped name that is not UTF-8 is shown escaped, and the run reads
    // that very file: decoded to text it would name the look-alike beside it.
    void droppedNameThatIsNotTextIsConvertedAsItsOwnFile()
    {
        const std::string in = QFile::encodeName(sandbox_->Folder(QStringLiteral("in"))).toStdString();
        const std::string dropped = in + "/x\xFF.png";
        const std::string lookAlike = in + "/x\xEF\xBF\xBD.png";
        const auto copy = [&](const QString& picture, QSize size, const std::string& path) {
            SavePictureFile(LoadPictureFile(sandbox_->Picture(picture, size).toStdString()).picture, false, path);
        };
        copy(QStringLiteral("wide.png"), QSize(30, 20), dropped);
        copy(QStringLiteral("small.png"), QSize(12, 10), lookAlike);

        QMimeData data;
        data.setData(QStringLiteral("text/uri-list"),
                     "file://" + QByteArray::fromStdString(dropped).toPercentEncoding("/") + "\r\n");
        QWidget* list = InputList(*form_)->viewport();
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list, &drop);
        QTRY_COMPARE(RowCount(*form_), 1);
        QCOMPARE(Rows(*form_), QStringList{QString::fromStdString(Printable(dropped))});
        QCOMPARE(form_->InputList().Paths(), std::vector<std::string>{dropped});

        const std::string out = QFile::encodeName(sandbox_->Folder(QStringLiteral("out"))).toStdString();
        Find<QLineEdit>(*form_, "Text1")->setText(QFile::decodeName(QByteArray::fromStdString(out)) + QLatin1Char('/'));
        QTest::mouseClick(Button(*form_, StartButton), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form_->IsConverting(), RunTimeoutMs);
        QCOMPARE(dialogs_->MessageTexts(), QStringList{QStringLiteral("Done.")});
        const Picture written = LoadPictureFile(out + "/x\xFF.png").picture;
        QCOMPARE(written.Width(), 30);
        QCOMPARE(written.Height(), 20);
        QVERIFY(!std::filesystem::exists(out + "/x\xEF\xBF\xBD.png"));
    }

    // The dialog's choices are kept in the store and used by the run: a
    // dropped folder's sub-folders kept, a suffix, an existing output skipped.
    void outputOptionsAreStoredAndUsed()
    {
        sandbox_->Picture(QStringLiteral("in/a/star.png"));
        sandbox_->Picture(QStringLiteral("in/b/star.png"));
        const QString older = sandbox_->File(QStringLiteral("out/b/star-b.png"), "older");
        OutputOptions chosen;
        chosen.structure = OutputOptions::Structure::KeepFolders;
        chosen.namePattern = "{name}-b";
        chosen.overwrite = OutputOptions::Overwrite::Skip;
        dialogs_->outputOptions = {std::nullopt, chosen};
        QTest::mouseClick(Button(*form_, OutputOptionsButton), Qt::LeftButton);  // cancelled: nothing changes
        QTest::mouseClick(Button(*form_, OutputOptionsButton), Qt::LeftButton);
        QCOMPARE(dialogs_->shownOptions.size(), std::size_t(2));
        QCOMPARE(dialogs_->shownOptions[1].namePattern, std::string("{name}"));
        // The window names what differs from the defaults.
        QCOMPARE(Find<QLabel>(*form_, "OptionsSummary")->text(),
                 QStringLiteral("Options: sub-folders, name {name}-b, skip existing"));

        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(sandbox_->Path(QStringLiteral("in")))});
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(InputList(*form_)->viewport(), &enter);
        QApplication::sendEvent(InputList(*form_)->viewport(), &drop);
        QTRY_COMPARE(RowCount(*form_), 2);
        Find<QLineEdit>(*form_, "Text1")->setText(sandbox_->Path(QStringLiteral("out")) + QLatin1Char('/'));
        QTest::mouseClick(Button(*form_, StartButton), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form_->IsConverting(), RunTimeoutMs);

        QCOMPARE(dialogs_->MessageTexts(), QStringList{QStringLiteral("Done.\r\n1 of 2 written, 1 skipped (the file existed)")});
        QVERIFY(!QImage(sandbox_->Path(QStringLiteral("out/a/star-b.png"))).isNull());
        QFile kept(older);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("older"));
        QVERIFY(InputListModel::OutcomeText(form_->InputList().Row(1)).startsWith(QStringLiteral("skipped: ")));

        // A new window starts with what was chosen.
        form_ = OpenWindow(*dialogs_, sandbox_->Path(QStringLiteral("program")));
        QVERIFY(Find<QLabel>(*form_, "OptionsSummary")->text().endsWith(QStringLiteral("skip existing")));
        QTest::mouseClick(Button(*form_, OutputOptionsButton), Qt::LeftButton);
        QCOMPARE(dialogs_->shownOptions.back().namePattern, std::string("{name}-b"));
        QCOMPARE(dialogs_->shownOptions.back().structure, OutputOptions::Structure::KeepFolders);
        QCOMPARE(dialogs_->shownOptions.back().overwrite, OutputOptions::Overwrite::Skip);
    }

    // The look dialog's tries show in the boxes while it is open and are
    // undone by Cancel; the look chosen is kept and used by the run.
    void lookIsTriedKeptAndUsed()
    {
        const QString input = sandbox_->Picture(QStringLiteral("in/star.png"), QSize(40, 30));
        Prepare({input});
        NamedLook chisel;
        chisel.bevelSize = "4";
        chisel.look.technique = BevelTechnique::Chisel;
        chisel.look.direction = BevelDirection::Down;
        QStringList sizesTried;
        dialogs_->onTry = [&](const NamedLook&) { sizesTried.push_back(Find<QLineEdit>(*form_, "txtBevelSize")->text()); };
        dialogs_->looks = {{{ShippedLooks()[1]}, std::nullopt}, {{ShippedLooks()[2], chisel}, chisel}};
        QTest::mouseClick(Button(*form_, LookButton), Qt::LeftButton);
        QCOMPARE(Find<QLineEdit>(*form_, "txtBevelSize")->text(), QStringLiteral("5"));
        QCOMPARE(Find<QLabel>(*form_, "LookName")->text(), QStringLiteral("Look: Classic"));
        QTest::mouseClick(Button(*form_, LookButton), Qt::LeftButton);
        QCOMPARE(sizesTried, (QStringList{QStringLiteral("14"), QStringLiteral("24"), QStringLiteral("4")}));
        QCOMPARE(Find<QLabel>(*form_, "LookName")->text(), QStringLiteral("Look: your own"));

        QTest::mouseClick(Button(*form_, StartButton), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form_->IsConverting(), RunTimeoutMs);
        PictureFile expected = LoadPictureFile(input.toStdString());
        ApplyBevel(expected.picture, expected.picture, ParseBevelParameters("4", "135", "30", "."), chisel.look);
        QVERIFY(LoadPictureFile(sandbox_->Path(QStringLiteral("out/star.png")).toStdString()).picture == expected.picture);

        // A new window starts with the look chosen.
        form_ = OpenWindow(*dialogs_, sandbox_->Path(QStringLiteral("program")));
        dialogs_->looks = {{{}, std::nullopt}};
        QTest::mouseClick(Button(*form_, LookButton), Qt::LeftButton);
        QCOMPARE(dialogs_->shownLooks.back().look.technique, BevelTechnique::Chisel);
        QCOMPARE(dialogs_->shownLooks.back().look.direction, BevelDirection::Down);
        QVERIFY(dialogs_->unanswered.isEmpty());
    }

    void guardsSpeakBeforeAnythingIsWritten()
    {
        QTest::mouseClick(Button(*form_, StartButton), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form_->IsConverting(), RunTimeoutMs);
        QCOMPARE(dialogs_->MessageTexts(), QStringList{QStringLiteral("No files added.")});
        QCOMPARE(dialogs_->calls.back().title, form_->ApplicationTitle());

        const QString input = sandbox_->Picture(QStringLiteral("in/a.bmp"));
        Prepare({input});
        const QString missing = sandbox_->Path(QStringLiteral("missing"));
        Find<QLineEdit>(*form_, "Text1")->setText(missing);
        QTest::mouseClick(Button(*form_, StartButton), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form_->IsConverting(), RunTimeoutMs);
        Find<QLineEdit>(*form_, "Text1")->setText(input);
        QTest::mouseClick(Button(*form_, StartButton), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form_->IsConverting(), RunTimeoutMs);

        const QString folderMissing = QStringLiteral("Folder does not exist. Please select another folder.");
        QCOMPARE(dialogs_->MessageTexts(), (QStringList{QStringLiteral("No files added."), folderMissing, folderMissing}));
        QVERIFY(!QFileInfo::exists(missing));
        QCOMPARE(Entries(sandbox_->Path(QStringLiteral("in"))), QStringList{QStringLiteral("a.bmp")});
        QVERIFY(Entries(sandbox_->Path(QStringLiteral("out"))).isEmpty());
    }

    // Broken files first: their report opens at once, and the run goes on
    // and ends while it is open; the others are counted, not shown.
    void aRunWithFailuresFirstDoesNotWaitForItsReport()
    {
        QStringList inputs;
        for (int item = 0; item < 20; ++item)
            inputs.push_back(item < 3 ? sandbox_->File(QStringLiteral("in/b%1.jpg").arg(item), "broken")
                                      : sandbox_->Picture(QStringLiteral("in/g%1.png").arg(item, 2, 10, QLatin1Char('0')),
                                                          QSize(300, 200)));
        Prepare(inputs);
        const QString out = sandbox_->Path(QStringLiteral("out"));
        qsizetype writtenBeforeReport = -1;
        qsizetype writtenWhileOpen = -1;
        dialogs_->onMessage = [&](const DialogCall& call) {
            if (!IsReport(call))
                return;
            writtenBeforeReport = Entries(out).size();
            const InputListModel& rows = form_->InputList();
            QTRY_VERIFY_WITH_TIMEOUT(rows.Row(rows.RowCount() - 1).outcome != RowOutcome::None, RunTimeoutMs);
            writtenWhileOpen = Entries(out).size() - writtenBeforeReport;
        };
        QTest::mouseClick(Button(*form_, StartButton), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form_->IsConverting(), RunTimeoutMs);

        QVERIFY(writtenBeforeReport >= 0);
        // Only whole outputs, never a temporary file, even while the report is open.
        QCOMPARE(writtenBeforeReport + writtenWhileOpen, 17);
        QCOMPARE(Entries(out).size(), 17);
        const QStringList messages = dialogs_->MessageTexts();
        QCOMPARE(messages.size(), 2);
        QVERIFY(messages.front().contains(QStringLiteral("b0.jpg")));
        QCOMPARE(messages.back(), QStringLiteral("Done.\r\n17 of 20 written, 3 failed"));
        QCOMPARE(InputListModel::OutcomeText(form_->InputList().Row(3)), QStringLiteral("written: g03.png"));
    }

    void stopTakesTheReportAwayAndNoOtherComes_data()
    {
        QTest::addColumn<bool>("byEscape");
        QTest::newRow("the Stop button") << false;
        QTest::newRow("the Escape key") << true;
    }

    // Broken files at both ends: after Stop, the run ends with "Stopped." and
    // the counts, and the later failures give no report.
    void stopTakesTheReportAwayAndNoOtherComes()
    {
        QFETCH(bool, byEscape);
        QStringList inputs = LongList();
        inputs.push_back(sandbox_->File(QStringLiteral("in/z1.jpg"), "broken"));
        inputs.push_back(sandbox_->File(QStringLiteral("in/z2.jpg"), "broken"));
        Prepare(inputs);
        bool stopOffered = false;
        dialogs_->onMessage = [&](const DialogCall& call) {
            if (!IsReport(call))
                return;
            QPushButton* start = Button(*form_, StartButton);
            stopOffered = start->isEnabled() && Caption(*form_, StartButton) == QStringLiteral("Stop");
            if (byEscape)
                QTest::keyClick(form_.get(), Qt::Key_Escape);
            else
                QTest::mouseClick(start, Qt::LeftButton);
        };
        dialogs_->answers = {MessageAnswer::OpenFolder};

        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        QTest::mouseClick(Button(*form_, StartButton), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form_->IsConverting(), RunTimeoutMs);

        QVERIFY(stopOffered);
        const InputListModel& rows = form_->InputList();
        const auto count = [&](RowOutcome outcome) {
            int n = 0;
            for (int row = 0; row < rows.RowCount(); ++row)
                n += rows.Row(row).outcome == outcome ? 1 : 0;
            return n;
        };
        QCOMPARE(rows.Row(0).outcome, RowOutcome::Failed);
        QCOMPARE(count(RowOutcome::Written), static_cast<int>(Entries(sandbox_->Path(QStringLiteral("out"))).size()));
        QCOMPARE(count(RowOutcome::Written) + count(RowOutcome::NotConverted) + count(RowOutcome::Failed),
                 static_cast<int>(inputs.size()));
        const QStringList messages = dialogs_->MessageTexts();
        QCOMPARE(messages.size(), 2);
        QVERIFY(messages.back().startsWith(QStringLiteral("Stopped.\r\n%1 of %2 written")
                                               .arg(count(RowOutcome::Written)).arg(inputs.size())));
        // The end's button opens the output folder.
        QCOMPARE(dialogs_->calls.back().kind, DialogCall::Kind::OpenFolder);
        QCOMPARE(dialogs_->calls.back().text, Find<QLineEdit>(*form_, "Text1")->text());
        QCOMPARE(Caption(*form_, StartButton), QStringLiteral("Start Converting"));
        QCOMPARE(Find<QProgressBar>(*form_, "ProgressBar1")->value(), 0);
    }

    // A parameter every item would fail on is reported once, before the run.
    void badParametersGiveOneReportAndNoRun_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("description");
        const QString size = QStringLiteral(" (Bevel Size: a whole number from 0 to 254)");
        QTest::newRow("size not a number") << "txtBevelSize" << "five" << "Type mismatch" + size;
        QTest::newRow("size beyond a byte") << "txtBevelSize" << "255" << "Overflow" + size;
        QTest::newRow("size -1") << "txtBevelSize" << "-1" << "Division by zero" + size;
        QTest::newRow("angle without a direction") << "txtLightAngle" << "1e308"
                                                   << "Overflow (Light Angle: any number of degrees)";
        QTest::newRow("elevation empty") << "txtLightElevation" << ""
                                         << "Type mismatch (Light Elevation: from -90 to 90 degrees)";
    }

    void badParametersGiveOneReportAndNoRun()
    {
        QFETCH(QString, box);
        QFETCH(QString, text);
        QFETCH(QString, description);
        QStringList inputs;
        for (int item = 0; item < 5; ++item)
            inputs.push_back(sandbox_->Picture(QStringLiteral("in/p%1.png").arg(item)));
        Prepare(inputs);
        Find<QLineEdit>(*form_, qPrintable(box))->setText(text);
        QTest::mouseClick(Button(*form_, StartButton), Qt::LeftButton);
        QVERIFY(!form_->IsConverting());
        QCOMPARE(dialogs_->MessageTexts(), QStringList{QString::fromStdString(FailureReportText(
                                               description.toStdString(), "PushButton2_Click", 160))});
        QVERIFY(Entries(sandbox_->Path(QStringLiteral("out"))).isEmpty());
    }

    // Twenty items, five of them broken: the first report offers to show no
    // more, and with that ticked the run finishes on its own; every row says
    // what became of it, and the list's commands pick out the failures.
    void showNoMoreReportsLetsALargeRunFinish()
    {
        QStringList inputs;
        for (int item = 0; item < 20; ++item)
            inputs.push_back(item % 4 == 1 ? sandbox_->File(QStringLiteral("in/b%1.png").arg(item, 2, 10, QLatin1Char('0')), "broken")
                                           : sandbox_->Picture(QStringLiteral("in/g%1.png").arg(item, 2, 10, QLatin1Char('0'))));
        Prepare(inputs);
        dialogs_->reportAnswers = {RunReportAnswer{false, true}};
        QTest::mouseClick(Button(*form_, StartButton), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form_->IsConverting(), RunTimeoutMs);

        const QStringList messages = dialogs_->MessageTexts();
        QCOMPARE(messages.size(), 2);
        QVERIFY(messages.front().contains(QStringLiteral("b01.png")));
        QCOMPARE(messages.back(), QStringLiteral("Done.\r\n15 of 20 written, 5 failed"));
        QCOMPARE(Entries(sandbox_->Path(QStringLiteral("out"))).size(), 15);

        const InputListModel& rows = form_->InputList();
        for (int row = 0; row < rows.RowCount(); ++row) {
            const QString result = InputList(*form_)->model()->index(row, ResultColumn).data().toString();
            if (row % 4 == 1)
                QVERIFY2(result.startsWith(QStringLiteral("failed: Invalid picture")), qPrintable(result));
            else
                QCOMPARE(result, QStringLiteral("written: g%1.png").arg(row, 2, 10, QLatin1Char('0')));
        }
        InputList(*form_)->findChild<QAction*>(QStringLiteral("CopyFailedRows"))->trigger();
        const QString copied = QGuiApplication::clipboard()->text();
        QCOMPARE(copied.count(QLatin1Char('\n')), 5);
        QVERIFY2(copied.startsWith(inputs.at(1) + QStringLiteral(": Invalid picture")), qPrintable(copied));
        InputList(*form_)->findChild<QAction*>(QStringLiteral("RemoveWrittenRows"))->trigger();
        QCOMPARE(RowCount(*form_), 5);
    }

    void closingWhileAReportWaitsEndsTheRunCleanly()
    {
        const QStringList inputs = LongList();
        Prepare(inputs);
        dialogs_->onMessage = [&](const DialogCall& call) {
            if (IsReport(call))
                form_->close();
        };

        QTest::mouseClick(Button(*form_, StartButton), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dialogs_->calls.empty() && !form_->isVisible(), RunTimeoutMs);
        QVERIFY(!form_->IsConverting());
        QTest::qWait(200);

        QCOMPARE(dialogs_->Calls(DialogCall::Kind::Message).size(), std::size_t(1));
        // Only whole outputs of listed pictures: no temporary or partial file.
        for (const QString& name : Entries(sandbox_->Path(QStringLiteral("out")))) {
            QVERIFY2(inputs.contains(sandbox_->Path(QStringLiteral("in/") + name)), qPrintable(name));
            QVERIFY(!QImage(sandbox_->Path(QStringLiteral("out/") + name)).isNull());
        }
    }
};

TOLLAMERE_REGISTER_TEST(ConversionTest)

} // namespace tollamere

#include "conversion_test.moc"
