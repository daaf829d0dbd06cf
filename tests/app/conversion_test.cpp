#include "app_test_support.h"
#include "failure_report.h"
#include "picture_files.h"
#include "runtime_error.h"

#include <QApplication>
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

    // A bad picture first, whose report comes at once and holds the run, then
    // enough pictures, each taking a while, that most are still waiting then.
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
            startCaption = Button(*form_, StartButton)->text();
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
        QCOMPARE(dialogs_->MessageTexts(), (QStringList{report, QStringLiteral("Done.")}));
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
        QCOMPARE(Button(*form_, StartButton)->text(), QStringLiteral("Start Converting"));
        QVERIFY(Button(*form_, AddFilesButton)->isEnabled());
        QVERIFY(Find<QLineEdit>(*form_, "txtLightAngle")->isEnabled());
    }

    // One conversion core: the window and the command line write the same
    // bytes for every format, and an absurd light angle is an ordinary
    // failure of the effect step, not the end of the program.
    void windowAndCommandLineWriteTheSameBytes()
    {
        const PictureFile letter = LoadPictureFile(sandbox_->Picture(QStringLiteral("f.png"), QSize(48, 40)).toStdString());
        QStringList inputs;
        for (const char* name : {"f.png", "f.bmp", "f.gif", "f.jpg", "f.tif", "f.webp", "f.ico"}) {
            inputs.push_back(sandbox_->Folder(QStringLiteral("in")) + QLatin1Char('/') + QLatin1String(name));
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

        dialogs_->calls.clear();
        Find<QLineEdit>(*form_, "txtLightAngle")->setText(QStringLiteral("1e308"));
        QTest::mouseClick(Button(*form_, StartButton), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form_->IsConverting(), RunTimeoutMs);
        const QStringList messages = dialogs_->MessageTexts();
        QVERIFY2(messages.size() == inputs.size() + 1, qPrintable(messages.join(QLatin1Char('\n'))));
        QVERIFY2(messages.front().startsWith(QStringLiteral("Overflow")), qPrintable(messages.front()));
        QVERIFY(messages.front().contains(QStringLiteral("at line 160")));
        QCOMPARE(messages.back(), QStringLiteral("Done."));
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

    void reportHoldsTheRunAndStopLeavesItemsNotStartedUnwritten()
    {
        const QStringList inputs = LongList();
        Prepare(inputs);
        const QString out = sandbox_->Path(QStringLiteral("out"));
        // While the report waits no item starts: only those the other workers
        // were already converting may still be written.
        const qsizetype othersInFlight = static_cast<qsizetype>(std::max(1u, std::thread::hardware_concurrency())) - 1;
        qsizetype writtenBeforeReport = -1;
        qsizetype writtenWhileWaiting = -1;
        bool stopOffered = false;
        dialogs_->onMessage = [&](const DialogCall& call) {
            if (!IsReport(call))
                return;
            writtenBeforeReport = Entries(out).size();
            // Ten conversions' worth of time, in which a run that did not wait would go on.
            QThread::msleep(300);
            writtenWhileWaiting = Entries(out).size();
            QPushButton* start = Button(*form_, StartButton);
            stopOffered = start->isEnabled() && start->text() == QStringLiteral("Stop");
            QTest::mouseClick(start, Qt::LeftButton);
        };

        QTest::mouseClick(Button(*form_, StartButton), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form_->IsConverting(), RunTimeoutMs);

        QVERIFY(writtenBeforeReport >= 0);
        QVERIFY(writtenWhileWaiting <= writtenBeforeReport + othersInFlight);
        QVERIFY(stopOffered);
        QVERIFY(Entries(out).size() <= writtenBeforeReport + othersInFlight);
        QVERIFY(Entries(out).size() < inputs.size() - 1);
        QVERIFY(!dialogs_->MessageTexts().contains(QStringLiteral("Done.")));
        QCOMPARE(Button(*form_, StartButton)->text(), QStringLiteral("Start Converting"));
        QVERIFY(Button(*form_, StartButton)->isEnabled());
        QCOMPARE(Find<QProgressBar>(*form_, "ProgressBar1")->value(), 0);
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
