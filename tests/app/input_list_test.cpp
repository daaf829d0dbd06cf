// SPDX-License-Identifier: MIT
#include "app_test_support.h"
#include <QSignalSpy>
#include <QProgressBar>
#include <QHeaderView>
#include "format_registry.h"

#include <QApplication>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

namespace tollamere {

namespace {

void Click(const Form1& form, const char* button)
{
    QTest::mouseClick(Find<QPushButton>(form, button), Qt::LeftButton);
}

QMimeData* FileData(const QStringList& paths)
{
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.push_back(QUrl::fromLocalFile(path));
    data->setUrls(urls);
    return data;
}

// Sends a drag onto the list and, when it is taken, the drop; true when taken.
bool DragAndDrop(const Form1& form, QMimeData* data)
{
    QWidget* target = InputList(form)->viewport();
    const QPoint centre = target->rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(centre), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    delete data;
    return enter.isAccepted() && drop.isAccepted();
}

} // namespace

// Filling and emptying the input list, the output folder, samples and help.
class InputListTest : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeDialogs> dialogs_;
    std::unique_ptr<Sandbox> program_;
    std::unique_ptr<Form1> form_;

private slots:
    void init()
    {
        ClearStore();
        dialogs_ = std::make_unique<FakeDialogs>();
        program_ = std::make_unique<Sandbox>();
        form_ = OpenWindow(*dialogs_, program_->Path());
    }

    void cleanup()
    {
        QVERIFY2(dialogs_->unanswered.isEmpty(), qPrintable(dialogs_->unanswered.join(QLatin1Char('\n'))));
        form_.reset();
    }

    void addImageFilesAppendsInTheDialogsOrder()
    {
        const QStringList picked{QStringLiteral("/in/c.png"), QStringLiteral("/in/a.bmp"),
                                 QStringLiteral("/in/b b.JPG")};
        dialogs_->files = {picked, {}, {QStringLiteral("/in/a.bmp")}};
        Click(*form_, AddFilesButton);
        QCOMPARE(Rows(*form_), picked);
        Click(*form_, AddFilesButton);
        QCOMPARE(Rows(*form_), picked);
        // A path already listed is skipped, and the bar says so.
        Click(*form_, AddFilesButton);
        QCOMPARE(Rows(*form_), picked);
        QCOMPARE(Find<QProgressBar>(*form_, "ProgressBar1")->text(),
                 QStringLiteral("1 file was already in the list and was skipped"));

        const DialogCall open = dialogs_->calls.front();
        QCOMPARE(open.title, QStringLiteral("Add File(s) - Hold Ctrl or Shift to select multiple files"));
        // Made from the format table; Linux names are case-sensitive, so the
        // upper-case extensions are listed too.
        QCOMPARE(open.text, QStringLiteral("All Pictures (*.bmp *.jpg *.jpeg *.gif *.png *.ico *.cur *.tif *.tiff *.webp *.avif *.jxl "
                                           "*.BMP *.JPG *.JPEG *.GIF *.PNG *.ICO *.CUR *.TIF *.TIFF *.WEBP *.AVIF *.JXL);;All Files (*)"));
    }

    // The commands' keys, several rows at once, and dialogs that open where
    // the last one of their kind was left.
    void keysRunTheCommandsAndDialogsStartWhereTheyWereLeft()
    {
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        const QString pictures = program_->Folder(QStringLiteral("pictures"));
        dialogs_->files = {{pictures + QStringLiteral("/a.png"), pictures + QStringLiteral("/b.png")},
                           {pictures + QStringLiteral("/c.png")}};
        QTest::keyClick(form_.get(), Qt::Key_O, Qt::ControlModifier);
        QTest::keyClick(form_.get(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(RowCount(*form_), 3);
        const std::vector<DialogCall> opened = dialogs_->Calls(DialogCall::Kind::OpenFiles);
        QCOMPARE(opened.size(), std::size_t(2));
        QCOMPARE(opened[0].preset, QString());
        QCOMPARE(opened[1].preset, pictures);

        QTreeView* list = InputList(*form_);
        list->setFocus();
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(RowCount(*form_), 0);

        // Shift+F10 and the Menu key ask for the list's menu.
        QSignalSpy menu(list, &QWidget::customContextMenuRequested);
        QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier);
        QTest::keyClick(list, Qt::Key_Menu);
        QCOMPARE(menu.size(), 2);
        for (QWidget* popup = QApplication::activePopupWidget(); popup != nullptr; popup = QApplication::activePopupWidget())
            popup->close();

        // Tab goes as the eye reads; the boxes' labels and the folder's frame
        // take the keyboard to them by their access keys.
        QStringList chain;
        QWidget* widget = Find<QWidget>(*form_, HelpButton);
        for (int step = 0; chain.size() < 17 && step < 200; ++step, widget = widget->nextInFocusChain())
            if ((widget->focusPolicy() & Qt::TabFocus) != 0 && widget->isVisible())
                chain.push_back(widget->objectName());
        QCOMPARE(chain.join(QLatin1Char(' ')),
                 QStringLiteral("PushButton4 PreviewToggle ListView1 PushButton1 PushButton3 PushButton5 PushButton6 "
                                "txtLightAngle txtLightElevation txtBevelSize PushButton9 Text1 PushButton7 "
                                "PushButton8 PushButton2 picIn picOut"));
        for (const auto& [key, box] : {std::pair{Qt::Key_G, "txtLightAngle"}, std::pair{Qt::Key_E, "txtLightElevation"},
                                       std::pair{Qt::Key_B, "txtBevelSize"}, std::pair{Qt::Key_R, "Text1"}}) {
            QTest::keyClick(form_.get(), key, Qt::AltModifier);
            QCOMPARE(QApplication::focusWidget()->objectName(), QLatin1String(box));
        }

        dialogs_->texts = {std::optional<QString>()};
        QTest::keyClick(form_.get(), Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(dialogs_->calls.back().kind, DialogCall::Kind::AskText);
        QTest::keyClick(form_.get(), Qt::Key_F1);
        QVERIFY(dialogs_->calls.back().text.contains(QStringLiteral("WebP")));
    }

    void deleteAndDoubleClickRemoveTheSelectedRowUnlessBusy()
    {
        QTreeView* list = InputList(*form_);
        QTest::keyClick(list, Qt::Key_Delete);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, QPoint(10, list->viewport()->height() - 4));
        QVERIFY(Rows(*form_).isEmpty());

        dialogs_->files = {{QStringLiteral("/a"), QStringLiteral("/b"), QStringLiteral("/c"), QStringLiteral("/d")}};
        Click(*form_, AddFilesButton);

        SelectRow(*form_, 1);
        form_->setCursor(Qt::WaitCursor);
        QTest::keyClick(list, Qt::Key_Delete);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, QPoint(10, list->viewport()->height() - 4));
        QCOMPARE(Rows(*form_).size(), 4);

        form_->setCursor(Qt::ArrowCursor);
        QTest::keyClick(list, Qt::Key_Backspace);
        QCOMPARE(Rows(*form_).size(), 4);
        QTest::keyClick(list, Qt::Key_Delete, Qt::ShiftModifier);
        QCOMPARE(Rows(*form_), (QStringList{QStringLiteral("/a"), QStringLiteral("/c"), QStringLiteral("/d")}));

        // A double-click below the rows removes the selected row.
        SelectRow(*form_, 2);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, QPoint(10, list->viewport()->height() - 4));
        QCOMPARE(Rows(*form_), (QStringList{QStringLiteral("/a"), QStringLiteral("/c")}));
        // A double-click on a row selects it with its first press, then removes it.
        const QPoint firstRow = list->visualRect(RowIndex(*form_, 0)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, firstRow);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, firstRow);
        QCOMPARE(Rows(*form_), QStringList{QStringLiteral("/c")});
    }

    void clearListEmptiesEvenWhileBusy()
    {
        dialogs_->files = {{QStringLiteral("/a"), QStringLiteral("/b")}};
        Click(*form_, AddFilesButton);
        InputList(*form_)->header()->resizeSection(0, 300);
        form_->setCursor(Qt::WaitCursor);
        Click(*form_, ClearButton);
        QVERIFY(Rows(*form_).isEmpty());
        // Emptying the list leaves its column as the user set it.
        QCOMPARE(InputList(*form_)->columnWidth(0), 300);
    }

    // Delete, double-click, Clear List and Remove Written Rows can each be
    // undone with Ctrl+Z, last first, the rows back in their places, until
    // the next run; a path listed again meanwhile is not doubled.
    void removalsComeBackWithCtrlZ()
    {
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        dialogs_->files = {{QStringLiteral("/a"), QStringLiteral("/b"), QStringLiteral("/c"), QStringLiteral("/d")}, {QStringLiteral("/e"), QStringLiteral("/a")}};
        Click(*form_, AddFilesButton);
        QTreeView* list = InputList(*form_);
        SelectRow(*form_, 1);
        QTest::keyClick(list, Qt::Key_Delete);
        const QPoint lastRow = list->visualRect(RowIndex(*form_, 2)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, lastRow);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, lastRow);
        QCOMPARE(Rows(*form_), (QStringList{QStringLiteral("/a"), QStringLiteral("/c")}));
        Click(*form_, ClearButton);
        QVERIFY(Rows(*form_).isEmpty());
        Click(*form_, AddFilesButton);

        QTest::keyClick(form_.get(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Rows(*form_), (QStringList{QStringLiteral("/e"), QStringLiteral("/c"), QStringLiteral("/a")}));
        QTest::keyClick(form_.get(), Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(form_.get(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Rows(*form_), (QStringList{QStringLiteral("/e"), QStringLiteral("/b"), QStringLiteral("/c"),
                                            QStringLiteral("/d"), QStringLiteral("/a")}));
        QTest::keyClick(form_.get(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Rows(*form_).size(), 5);

        // A run ends what can be undone.
        Click(*form_, ClearButton);
        Find<QLineEdit>(*form_, "Text1")->setText(program_->Folder(QStringLiteral("out")));
        Click(*form_, StartButton);
        QTRY_VERIFY(!form_->IsConverting());
        QTest::keyClick(form_.get(), Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(Rows(*form_).isEmpty());
        dialogs_->calls.clear();
    }

    void addAllScansTheTreeInLevelOrder()
    {
        Sandbox tree;
        const QString root = tree.Folder(QStringLiteral("R"));
        tree.File(QStringLiteral("R/A/A1/a1.txt"));
        tree.File(QStringLiteral("R/B/B1/b1.TXT"));
        tree.File(QStringLiteral("R/B/b.txt"));
        tree.File(QStringLiteral("R/A/a.txt"));
        tree.File(QStringLiteral("R/r.txt"));
        tree.File(QStringLiteral("R/picture.bmp"));

        dialogs_->texts = {QStringLiteral("txt")};
        dialogs_->folders = {root};
        Click(*form_, AddAllButton);
        QVERIFY(form_->IsBusy());
        QTRY_VERIFY(!form_->IsBusy());
        QCOMPARE(form_->cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(Rows(*form_), (QStringList{root + QStringLiteral("/r.txt"), root + QStringLiteral("/A/a.txt"),
                                            root + QStringLiteral("/B/b.txt"), root + QStringLiteral("/A/A1/a1.txt"),
                                            root + QStringLiteral("/B/B1/b1.TXT")}));

        const DialogCall question = dialogs_->calls.front();
        QCOMPARE(question.kind, DialogCall::Kind::AskText);
        QCOMPARE(question.title, form_->ApplicationTitle());
        QCOMPARE(question.text, QStringLiteral("Enter file extension to load:\r\r(* for all files, txt for all txt "
                                               "files, doc for all doc files, etc.)"));
        QCOMPARE(question.preset, QStringLiteral("*"));
        QCOMPARE(dialogs_->calls.at(1).title, QStringLiteral("Please select folder:"));
    }

    void addAllStopsOnAnEmptyAnswerOrNoFolder()
    {
        Sandbox tree;
        tree.File(QStringLiteral("R/r.txt"));
        dialogs_->texts = {std::nullopt, QString(), QStringLiteral("*")};
        dialogs_->folders = {QString()};
        Click(*form_, AddAllButton);
        Click(*form_, AddAllButton);
        QCOMPARE(dialogs_->Calls(DialogCall::Kind::BrowseForFolder).size(), std::size_t(0));
        Click(*form_, AddAllButton);
        QCOMPARE(dialogs_->Calls(DialogCall::Kind::BrowseForFolder).size(), std::size_t(1));
        QVERIFY(!form_->IsBusy());
        QTest::qWait(100);
        QVERIFY(Rows(*form_).isEmpty());
    }

    void dropAddsFilesAsDroppedAndScansFolders()
    {
        Sandbox dropped;
        const QString first = dropped.File(QStringLiteral("notes.txt"));
        const QString folder = dropped.Folder(QStringLiteral("D"));
        dropped.File(QStringLiteral("D/Sub/y.png"));
        dropped.File(QStringLiteral("D/x.png"));
        const QString missing = dropped.Path(QStringLiteral("~gone.bmp"));

        QVERIFY(DragAndDrop(*form_, FileData({first, folder, missing})));
        QTRY_COMPARE(Rows(*form_), (QStringList{first, folder + QStringLiteral("/x.png"),
                                                folder + QStringLiteral("/Sub/y.png"), missing}));
        QVERIFY(!form_->IsBusy());
    }

    void dropWithoutLocalFilesIsRefused()
    {
        auto* text = new QMimeData;
        text->setText(QStringLiteral("/etc/hostname"));
        QVERIFY(!DragAndDrop(*form_, text));
        auto* web = new QMimeData;
        web->setUrls({QUrl(QStringLiteral("https://example.org/a.png"))});
        QVERIFY(!DragAndDrop(*form_, web));
        QTest::qWait(100);
        QVERIFY(Rows(*form_).isEmpty());
    }

    void browseAddsTheSeparatorAndCancelChangesNothing()
    {
        auto* outputFolder = Find<QLineEdit>(*form_, "Text1");
        dialogs_->folders = {QStringLiteral("/data/pictures"), QStringLiteral("/"), QString()};
        Click(*form_, BrowseOutputButton);
        QCOMPARE(outputFolder->text(), QStringLiteral("/data/pictures/"));
        QCOMPARE(StoredValue(QStringLiteral("Text1")).toString(), QStringLiteral("/data/pictures/"));
        Click(*form_, BrowseOutputButton);
        QCOMPARE(outputFolder->text(), QStringLiteral("/"));

        Store(QStringLiteral("Text1"), QStringLiteral("written elsewhere"));
        Click(*form_, BrowseOutputButton);
        QCOMPARE(outputFolder->text(), QStringLiteral("/"));
        QCOMPARE(StoredValue(QStringLiteral("Text1")).toString(), QStringLiteral("written elsewhere"));
        QCOMPARE(dialogs_->calls.front().title, QStringLiteral("Please select folder:"));
    }

    void samplesAreAddedOnceAndTheFolderOpensOnYes()
    {
        const QString samples = program_->Folder(QStringLiteral("Samples"));
        program_->File(QStringLiteral("Samples/b-notes.txt"));
        program_->File(QStringLiteral("Samples/A-star.gif"));
        program_->File(QStringLiteral("Samples/c-ring.jpg"));
        const QStringList once{samples + QStringLiteral("/A-star.gif"), samples + QStringLiteral("/b-notes.txt"),
                               samples + QStringLiteral("/c-ring.jpg")};

        dialogs_->answers = {MessageAnswer::Yes, MessageAnswer::No};
        Click(*form_, SamplesButton);
        QCOMPARE(Rows(*form_), once);
        Click(*form_, SamplesButton);
        QCOMPARE(Rows(*form_), once);
        QCOMPARE(Find<QProgressBar>(*form_, "ProgressBar1")->text(),
                 QStringLiteral("3 files were already in the list and were skipped"));

        const std::vector<DialogCall> questions = dialogs_->Calls(DialogCall::Kind::Message);
        QCOMPARE(questions.size(), std::size_t(2));
        QCOMPARE(questions.front().text,
                 QStringLiteral("Would you like this software to open the folder where these sample files are stored "
                                "(so that you can view them before working with them)?"));
        QCOMPARE(questions.front().title, form_->ApplicationTitle());
        QCOMPARE(questions.front().buttons, MessageButtons::YesNo);
        const std::vector<DialogCall> opened = dialogs_->Calls(DialogCall::Kind::OpenFolder);
        QCOMPARE(opened.size(), std::size_t(1));
        QCOMPARE(opened.front().text, samples + QLatin1Char('/'));
    }

    void withoutSamplesTheQuestionIsStillAsked()
    {
        dialogs_->answers = {MessageAnswer::No};
        Click(*form_, SamplesButton);
        QVERIFY(Rows(*form_).isEmpty());
        QCOMPARE(dialogs_->Calls(DialogCall::Kind::Message).size(), std::size_t(1));
    }

    void helpShowsItsMessage()
    {
        Click(*form_, HelpButton);
        QCOMPARE(dialogs_->calls.size(), std::size_t(1));
        const DialogCall help = dialogs_->calls.front();
        // It names the formats the program really reads and writes, in the
        // words it always used.
        QVERIFY(help.text.startsWith(QStringLiteral("This software reads and writes BMP, JPG, GIF, PNG, ICO, CUR, TIFF, WebP, AVIF and "
                                                    "JPEG XL pictures; each output")));
        QVERIFY(help.text.contains(QStringLiteral(" It also reads PBM, PGM, PPM, XPM, TGA and SVG files.\r\rKeys: ")));
        for (const FileFormat* format : ListedFormats())
            QVERIFY2(help.text.contains(QString::fromLatin1(format->ListedName().data(), qsizetype(format->ListedName().size()))),
                     format->name.data());
        QVERIFY(!help.text.contains(QStringLiteral("WMF")));
        QCOMPARE(help.title, form_->ApplicationTitle());
        QCOMPARE(help.icon, MessageIcon::None);
        QCOMPARE(help.buttons, MessageButtons::Ok);
    }
};

TOLLAMERE_REGISTER_TEST(InputListTest)

} // namespace tollamere

#include "input_list_test.moc"
