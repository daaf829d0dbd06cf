// SPDX-License-Identifier: MIT
#include "app_test_support.h"
#include "failure_report.h"
#include "runtime_error.h"
#include "window_support.h"

#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>

namespace tollamere {

namespace {

QString Text(const Form1& form, const char* box)
{
    return Find<QLineEdit>(form, box)->text();
}

void MovePointerOver(QWidget* widget)
{
    const QPointF inside(3, 3);
    QMouseEvent move(QEvent::MouseMove, inside, widget->mapToGlobal(inside), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

QString Report(const std::string& description, std::string_view handler, int line)
{
    return QString::fromStdString(FailureReportText(description, handler, line));
}

} // namespace

// Start-up, the settings store and the pointer, each from a fresh store and
// a program folder of the test's own.
class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void init() { ClearStore(); }

    void firstStartShowsDefaultsAndStoresTheOutputFolder()
    {
        FakeDialogs dialogs;
        Sandbox program;
        const QString desktop = program.Folder(QStringLiteral("Desktop")) + QLatin1Char('/');
        const auto form = OpenWindow(dialogs, program.Path(), [&] { return desktop.toStdString(); });

        QCOMPARE(Text(*form, "txtLightAngle"), QStringLiteral("135"));
        QCOMPARE(Text(*form, "txtLightElevation"), QStringLiteral("30"));
        QCOMPARE(Text(*form, "txtBevelSize"), QStringLiteral("5"));
        QCOMPARE(Text(*form, "Text1"), desktop);
        QCOMPARE(StoredValue(QStringLiteral("Text1")).toString(), desktop);

        QCOMPARE(form->windowTitle(), QStringLiteral("Tollamere"));
        QCOMPARE(form->ApplicationTitle(), QStringLiteral("Tollamere"));
        QVERIFY(!form->windowIcon().isNull());
        const QTreeView* list = InputList(*form);
        QCOMPARE(list->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Image File(s)"));
        // The result column has the room the file column does not need.
        QVERIFY(list->columnWidth(ResultColumn) >= list->viewport()->width() / 3);
        QCOMPARE(Find<QProgressBar>(*form, "ProgressBar1")->text(), QStringLiteral("Progress Bar"));
        // The design's size and the preview's panes.
        QCOMPARE(form->size(), QSize(816, 486));
        QVERIFY(dialogs.calls.empty());

        // The list takes the keyboard first; the frame offers minimize,
        // maximize and close.
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QCOMPARE(QApplication::focusWidget(), list);
        const Qt::WindowFlags flags = form->windowHandle()->flags();
        QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint) && flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(flags.testFlag(Qt::WindowMaximizeButtonHint));
    }

    void storedTextsComeBackUnchanged()
    {
        Store(QStringLiteral("txtLightAngle"), QStringLiteral("abc"));
        Store(QStringLiteral("txtLightElevation"), QStringLiteral(" 1,5 "));
        Store(QStringLiteral("txtBevelSize"), QStringLiteral("@Invalid()"));
        Store(QStringLiteral("Text1"), QString());
        FakeDialogs dialogs;
        Sandbox program;
        const auto form = OpenWindow(dialogs, program.Path());

        QCOMPARE(Text(*form, "txtLightAngle"), QStringLiteral("abc"));
        QCOMPARE(Text(*form, "txtLightElevation"), QStringLiteral(" 1,5 "));
        QCOMPARE(Text(*form, "txtBevelSize"), QStringLiteral("@Invalid()"));
        QCOMPARE(Text(*form, "Text1"), QString());
        QVERIFY(dialogs.calls.empty());
    }

    void everyKeystrokeIsStored()
    {
        const QString storePath = QSettings(QStringLiteral("Tollamere"), QStringLiteral("Tollamere")).fileName();
        FakeDialogs dialogs;
        Sandbox program;
        {
            const auto form = OpenWindow(dialogs, program.Path());
            auto* bevelSize = Find<QLineEdit>(*form, "txtBevelSize");
            bevelSize->clear();
            QCOMPARE(StoredValue(QStringLiteral("txtBevelSize")).toString(), QString());
            QTest::keyClick(bevelSize, Qt::Key_1);
            QCOMPARE(StoredValue(QStringLiteral("txtBevelSize")).toString(), QStringLiteral("1"));
            QTest::keyClick(bevelSize, Qt::Key_2);
            // On disk at once, not only in this process's cache (which any
            // other settings object would write out when it goes).
            QFile storeFile(storePath);
            QVERIFY(storeFile.open(QIODevice::ReadOnly));
            QVERIFY(storeFile.readAll().contains("txtBevelSize=12"));
            QCOMPARE(StoredValue(QStringLiteral("txtBevelSize")).toString(), QStringLiteral("12"));

            auto* angle = Find<QLineEdit>(*form, "txtLightAngle");
            angle->selectAll();
            QTest::keyClicks(angle, QStringLiteral(" 2,5"));
            QCOMPARE(StoredValue(QStringLiteral("txtLightAngle")).toString(), QStringLiteral(" 2,5"));

            auto* outputFolder = Find<QLineEdit>(*form, "Text1");
            outputFolder->selectAll();
            QTest::keyClick(outputFolder, Qt::Key_Backspace);
            QCOMPARE(StoredValue(QStringLiteral("Text1")), QVariant(QString()));
        }
        const auto reopened = OpenWindow(dialogs, program.Path());
        QCOMPARE(Text(*reopened, "txtBevelSize"), QStringLiteral("12"));
        QCOMPARE(Text(*reopened, "txtLightAngle"), QStringLiteral(" 2,5"));
        QCOMPARE(Text(*reopened, "Text1"), QString());
    }

    // A fresh account has no desktop folder yet: the first run must not fail
    // on a folder nobody made, so the default is the pictures folder or home.
    void missingDesktopFolderFallsBackToPicturesOrHome()
    {
        FakeDialogs dialogs;
        Sandbox program;
        const QString pictures = program.Folder(QStringLiteral("Pictures")) + QLatin1Char('/');
        const auto form = OpenWindow(
            dialogs, program.Path(), [&] { return program.Path(QStringLiteral("Desktop/")).toStdString(); },
            [&] { return pictures.toStdString(); });
        QCOMPARE(Text(*form, "Text1"), pictures);
        QVERIFY(dialogs.calls.empty());
        const std::string fallback = GetFallbackOutputFolder();
        QVERIFY(!fallback.empty() && fallback.back() == '/' && FolderExists(fallback) == std::optional<bool>(true));
    }

    // The window forces no colour: on a dark palette every label, frame and
    // the window itself are dark with light text, and disabled text stays
    // well apart from its background.
    void theWindowFollowsTheDarkPalette()
    {
        const QPalette original = QApplication::palette();
        const QPalette dark = DarkPalette();
        QApplication::setPalette(dark);
        FakeDialogs dialogs;
        Sandbox program;
        const auto form = OpenWindow(dialogs, program.Path());
        for (const char* name : {"Label1", "Label2", "Label3", "Frame1", "Frame2", "LookName", "InputCaption"}) {
            const QWidget* widget = form->findChild<QWidget*>(QLatin1String(name));
            QCOMPARE(widget->palette().color(QPalette::Window), dark.color(QPalette::Window));
            QCOMPARE(widget->palette().color(QPalette::WindowText), dark.color(QPalette::WindowText));
            QVERIFY(!widget->autoFillBackground());
        }
        QCOMPARE(form->palette().color(QPalette::Window), dark.color(QPalette::Window));
        const auto lightness = [&](QPalette::ColorRole role) {
            return dark.color(QPalette::Disabled, role).lightness();
        };
        QVERIFY(lightness(QPalette::Text) - lightness(QPalette::Base) >= 80);
        QVERIFY(lightness(QPalette::ButtonText) - lightness(QPalette::Button) >= 80);
        QApplication::setPalette(original);
    }

    void withoutDesktopFolderTheOutputFolderStaysEmpty()
    {
        Store(QStringLiteral("Text1"), QStringLiteral("/stored/folder/"));
        Store(QStringLiteral("txtBevelSize"), QStringLiteral("9"));
        FakeDialogs dialogs;
        Sandbox program;
        const auto form = OpenWindow(dialogs, program.Path(), []() -> std::string { Raise(ErrorNumber::InvalidProcedureCall); });

        QCOMPARE(dialogs.MessageTexts(),
                 QStringList{Report(StandardDescription(ErrorNumber::InvalidProcedureCall), "Form_Load", 138)});
        const DialogCall report = dialogs.calls.front();
        QCOMPARE(report.title, QStringLiteral("Application Error"));
        QCOMPARE(report.icon, MessageIcon::Warning);
        QCOMPARE(report.buttons, MessageButtons::Ok);
        QCOMPARE(Text(*form, "Text1"), QString());
        QCOMPARE(Text(*form, "txtBevelSize"), QStringLiteral("9"));
        QCOMPARE(StoredValue(QStringLiteral("Text1")).toString(), QStringLiteral("/stored/folder/"));
    }

    void pointerFeedbackUsesTheHandFileAndNeverHidesTheWaitCursor()
    {
        FakeDialogs dialogs;
        Sandbox program;
        program.File(QStringLiteral("HAND-M.CUR"), CraftCursorFile(5, 7));
        const auto form = OpenWindow(dialogs, program.Path());
        QVERIFY(dialogs.calls.empty());

        MovePointerOver(Find<QPushButton>(*form, AddAllButton));
        QCOMPARE(form->cursor().shape(), Qt::BitmapCursor);
        QCOMPARE(form->cursor().hotSpot(), QPoint(5, 7));
        MovePointerOver(Find<QLabel>(*form, "Label2"));
        QCOMPARE(form->cursor().shape(), Qt::ArrowCursor);
        MovePointerOver(Find<QPushButton>(*form, BrowseOutputButton));
        QCOMPARE(form->cursor().shape(), Qt::BitmapCursor);
        MovePointerOver(Find<QGroupBox>(*form, "Frame2"));
        QCOMPARE(form->cursor().shape(), Qt::ArrowCursor);

        form->setCursor(Qt::WaitCursor);
        MovePointerOver(Find<QPushButton>(*form, AddFilesButton));
        QVERIFY(form->IsBusy());
        MovePointerOver(InputList(*form)->viewport());
        QVERIFY(form->IsBusy());

        form->setCursor(Qt::ArrowCursor);
        MovePointerOver(Find<QPushButton>(*form, AddFilesButton));
        QCOMPARE(form->cursor().shape(), Qt::BitmapCursor);
    }

    void brokenHandFileIsReportedAndStartUpGoesOn()
    {
        Store(QStringLiteral("txtLightAngle"), QStringLiteral("abc"));
        FakeDialogs dialogs;
        Sandbox program;
        const QString handFile = program.File(QStringLiteral("HAND-M.CUR"), "not a cursor");
        std::string description;
        try {
            LoadCursorFile(handFile);
        } catch (const RuntimeError& error) {
            description = error.Description();
        }
        QVERIFY(description.starts_with(StandardDescription(ErrorNumber::InvalidPicture)));

        const auto form = OpenWindow(dialogs, program.Path());
        QCOMPARE(dialogs.MessageTexts(), QStringList{Report(description, "Form_Load", 108)});
        QCOMPARE(Text(*form, "txtLightAngle"), QStringLiteral("abc"));
        MovePointerOver(Find<QPushButton>(*form, StartButton));
        QCOMPARE(form->cursor().shape(), Qt::PointingHandCursor);
    }

    void skinFileReplacesTheDesignLook()
    {
        FakeDialogs dialogs;
        Sandbox program;
        {
            const auto form = OpenWindow(dialogs, program.Path());
            QCOMPARE(form->styleSheet(), QString());
            QVERIFY(!Find<QGroupBox>(*form, "Frame1")->autoFillBackground());
            QVERIFY(!Find<QLabel>(*form, "Label3")->autoFillBackground());
        }
        const QByteArray styleSheet = "QPushButton { font-style: italic; }";
        program.File(QStringLiteral("x/o.cjs"), styleSheet);
        const auto skinned = OpenWindow(dialogs, program.Path());
        QCOMPARE(skinned->styleSheet(), QString::fromUtf8(styleSheet));
        const QColor buttonFace = QApplication::palette().color(QPalette::Button);
        QCOMPARE(Find<QGroupBox>(*skinned, "Frame1")->palette().color(QPalette::Window), buttonFace);
        QCOMPARE(Find<QLabel>(*skinned, "Label3")->palette().color(QPalette::Window), buttonFace);
        QVERIFY(dialogs.calls.empty());
    }
};

TOLLAMERE_REGISTER_TEST(StartupTest)

} // namespace tollamere

#include "startup_test.moc"
