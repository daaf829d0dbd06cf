// SPDX-License-Identifier: MIT
#include "app_test_support.h"
#include <QProgressBar>
#include <QHeaderView>
#include <QLabel>
#include "bevel.h"
#include "picture_files.h"
#include "preview_pane.h"
#include "preview_worker.h"
#include "runtime_error.h"
#include "zoom_view.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

#include <sys/wait.h>

#include <cerrno>
#include <fstream>

namespace tollamere {

namespace {

constexpr int PreviewTimeoutMs = 20000;
const QSize DesignSize(536, 486);
const QSize PreviewSize(816, 486);

QImage ImageFromPicture(const Picture& picture)
{
    QImage image(picture.Width(), picture.Height(), QImage::Format_RGB32);
    for (std::int32_t y = 0; y < picture.Height(); ++y)
        for (std::int32_t x = 0; x < picture.Width(); ++x)
            image.setPixel(x, y, picture.Pixel(x, y));
    return image;
}

QImage Unbevelled(const QString& path)
{
    return ImageFromPicture(LoadPictureFile(path.toStdString()).picture);
}

// What a conversion run would write for the file, as an image.
QImage Bevelled(const QString& path, const char* bevelSize)
{
    const Picture input = LoadPictureFile(path.toStdString()).picture;
    Picture output = input;
    ApplyBevel(input, output, ParseBevelParameters(bevelSize, "135", "30"));
    return ImageFromPicture(output);
}

template <typename Step>
std::string FailureOf(Step step)
{
    try {
        step();
    } catch (const RuntimeError& error) {
        return error.Description();
    }
    return {};
}

PreviewBox* Box(const Form1& form, const char* name)
{
    return Find<PreviewBox>(form, name);
}

void TogglePreview(Form1& form)
{
    QTest::keyClick(&form, Qt::Key_P, Qt::ControlModifier);
}

} // namespace

// The preview beside the controls: shown or hidden, following the list and
// the parameters, its failures, and the full-size view.
class PreviewTest : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeDialogs> dialogs_;
    std::unique_ptr<Sandbox> sandbox_;
    std::unique_ptr<Form1> form_;

    void Open(bool previewShown)
    {
        Store(QStringLiteral("ShowPreview"), previewShown ? QStringLiteral("1") : QStringLiteral("0"));
        form_ = OpenWindow(*dialogs_, sandbox_->Path(QStringLiteral("program")));
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    }

    void AddFiles(const QStringList& paths)
    {
        dialogs_->files = {paths};
        QTest::mouseClick(Find<QPushButton>(*form_, AddFilesButton), Qt::LeftButton);
        QCOMPARE(RowCount(*form_), paths.size());
    }

    void SetBevelSize(const QString& text) { Find<QLineEdit>(*form_, "txtBevelSize")->setText(text); }

private slots:
    void init()
    {
        ClearStore();
        dialogs_ = std::make_unique<FakeDialogs>();
        sandbox_ = std::make_unique<Sandbox>();
    }

    void cleanup() { form_.reset(); }

    // A first start shows the preview; Ctrl+P and the Preview button hide and
    // show it, the window narrowing and widening by the panes.
    void previewShowsFirstAndTogglesWithTheWindowSize()
    {
        form_ = OpenWindow(*dialogs_, sandbox_->Path(QStringLiteral("program")));
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        QCOMPARE(form_->size(), PreviewSize);
        QCOMPARE(form_->minimumSize(), PreviewSize);
        QCOMPARE(Box(*form_, "picIn")->geometry(), QRect(552, 25, 256, 214));
        QCOMPARE(Box(*form_, "picOut")->geometry(), QRect(552, 263, 256, 214));
        QVERIFY(Find<QLabel>(*form_, "InputCaption")->isVisible() && Find<QLabel>(*form_, "ResultCaption")->isVisible());

        TogglePreview(*form_);
        QCOMPARE(form_->size(), DesignSize);
        QCOMPARE(form_->minimumSize(), DesignSize);
        QVERIFY(!Box(*form_, "picIn")->isVisible() && !Box(*form_, "picOut")->isVisible());
        QVERIFY(!Find<QPushButton>(*form_, "PreviewToggle")->isChecked());
        QCOMPARE(StoredValue(QStringLiteral("ShowPreview")).toString(), QStringLiteral("0"));

        QTest::mouseClick(Find<QPushButton>(*form_, "PreviewToggle"), Qt::LeftButton);
        QCOMPARE(form_->size(), PreviewSize);
        QVERIFY(Box(*form_, "picOut")->isVisible());
        QCOMPARE(StoredValue(QStringLiteral("ShowPreview")).toString(), QStringLiteral("1"));

        Open(false);
        QCOMPARE(form_->size(), DesignSize);
        Store(QStringLiteral("ShowPreview"), QStringLiteral("yes"));
        form_ = OpenWindow(*dialogs_, sandbox_->Path(QStringLiteral("program")));
        QCOMPARE(form_->size(), DesignSize);
        QVERIFY(dialogs_->calls.empty());
    }

    // Larger than the design, the list, its result column and the panes take
    // the room; the controls below the list keep their height and move down.
    // Closed, the window leaves its place and size for the next start.
    void aLargerWindowGrowsTheListAndThePanesAndIsRemembered()
    {
        Open(true);
        AddFiles({QStringLiteral("/in/a.png"), QStringLiteral("/in/b.png")});
        QTreeView* list = InputList(*form_);
        auto* start = Find<QPushButton>(*form_, StartButton);
        const QRect listBefore = list->geometry();
        const QRect startBefore = start->geometry();
        const int resultBefore = list->columnWidth(ResultColumn);
        const QSize paneBefore = Box(*form_, "picOut")->size();

        form_->resize(PreviewSize + QSize(400, 300));
        QCOMPARE(list->height(), listBefore.height() + 300);
        QCOMPARE(list->width(), listBefore.width() + 200);
        QCOMPARE(start->geometry(), startBefore.translated(0, 300).adjusted(0, 0, 200, 0));
        QCOMPARE(start->geometry().bottom() < Find<QProgressBar>(*form_, "ProgressBar1")->geometry().top(), true);
        QVERIFY(list->columnWidth(ResultColumn) > resultBefore);
        QCOMPARE(Box(*form_, "picOut")->width(), paneBefore.width() + 200);
        QCOMPARE(Box(*form_, "picOut")->height(), paneBefore.height() + 150);
        QVERIFY(Box(*form_, "picOut")->geometry().right() < form_->width());
        QCOMPARE(list->horizontalScrollBar()->isVisible(), false);

        list->header()->resizeSection(PathColumn, 150);
        form_->move(40, 30);
        form_->close();
        Open(true);
        QCOMPARE(form_->size(), PreviewSize + QSize(400, 300));
        QCOMPARE(InputList(*form_)->columnWidth(PathColumn), 150);
        QCOMPARE(StoredValue(QStringLiteral("WindowGeometry")).toString().section(QLatin1Char(','), 2),
                 QStringLiteral("1216,786"));
    }

    void followsTheSelectionAndTheParameters()
    {
        const QString first = sandbox_->Picture(QStringLiteral("in/first.png"), QSize(60, 40));
        const QString second = sandbox_->Picture(QStringLiteral("in/second.bmp"), QSize(48, 36));
        Open(true);
        AddFiles({first, second});
        PreviewBox* picIn = Box(*form_, "picIn");
        PreviewBox* picOut = Box(*form_, "picOut");
        QVERIFY(picOut->Thumbnail().isNull() && picOut->Text().isEmpty());

        // Pictures smaller than the box are shown as they are, pixel for pixel.
        SelectRow(*form_, 0);
        const QImage firstResult = Bevelled(first, "5");
        // The bevel's band changes, its flat top does not.
        QVERIFY(firstResult.pixel(3, 20) != Unbevelled(first).pixel(3, 20));
        QCOMPARE(firstResult.pixel(30, 20), Unbevelled(first).pixel(30, 20));
        QTRY_COMPARE_WITH_TIMEOUT(picOut->Thumbnail(), firstResult, PreviewTimeoutMs);
        QCOMPARE(picIn->Thumbnail(), Unbevelled(first));

        SelectRow(*form_, 1);
        QTRY_COMPARE_WITH_TIMEOUT(picOut->Thumbnail(), Bevelled(second, "5"), PreviewTimeoutMs);
        QCOMPARE(picIn->Thumbnail(), Unbevelled(second));

        // Typed in quick succession: only the last text counts.
        for (const char* text : {"1", "12", "2"})
            SetBevelSize(QLatin1String(text));
        QTRY_COMPARE_WITH_TIMEOUT(picOut->Thumbnail(), Bevelled(second, "2"), PreviewTimeoutMs);
        QVERIFY(picOut->Thumbnail() != Bevelled(second, "5"));

        InputList(*form_)->selectionModel()->clearSelection();
        QVERIFY(picIn->Thumbnail().isNull() && picOut->Thumbnail().isNull() && picOut->Text().isEmpty());

        // Hidden, the preview lets its pictures go; shown again, it picks up
        // the row selected meanwhile.
        SelectRow(*form_, 1);
        TogglePreview(*form_);
        QVERIFY(picOut->Thumbnail().isNull());
        SelectRow(*form_, 0);
        TogglePreview(*form_);
        QTRY_COMPARE_WITH_TIMEOUT(picOut->Thumbnail(), Bevelled(first, "2"), PreviewTimeoutMs);

        SelectRow(*form_, 1);
        Find<QPushButton>(*form_, ClearButton)->click();
        QTRY_VERIFY(picIn->Thumbnail().isNull() && picOut->Thumbnail().isNull());
        QCOMPARE(dialogs_->Calls(DialogCall::Kind::Message).size(), std::size_t(0));
    }

    void failuresShowTheirReasonInTheResultBox()
    {
        const QString good = sandbox_->Picture(QStringLiteral("in/good.png"), QSize(30, 20));
        const QString broken = sandbox_->File(QStringLiteral("in/broken.png"), "not a picture at all");
        Open(true);
        AddFiles({good, broken});
        PreviewBox* picIn = Box(*form_, "picIn");
        PreviewBox* picOut = Box(*form_, "picOut");
        SelectRow(*form_, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!picOut->Thumbnail().isNull(), PreviewTimeoutMs);

        // The result box says what the box at fault says.
        struct Case {
            const char* bevelSize;
            const char* lightAngle;
            const char* box;
        };
        for (const Case& bad : {Case{"abc", "135", "txtBevelSize"}, Case{"300", "135", "txtBevelSize"},
                                Case{"5", "1e400", "txtLightAngle"}}) {
            Find<QLineEdit>(*form_, "txtLightAngle")->setText(QLatin1String(bad.lightAngle));
            SetBevelSize(QLatin1String(bad.bevelSize));
            const std::string reason = FailureOf([&] {
                Picture output(30, 20);
                ApplyBevel(LoadPictureFile(good.toStdString()).picture, output,
                           ParseBevelParameters(bad.bevelSize, bad.lightAngle, "30"));
            });
            QVERIFY2(!reason.empty(), bad.bevelSize);
            QTRY_COMPARE_WITH_TIMEOUT(picOut->Text(), Find<QLineEdit>(*form_, bad.box)->toolTip(), PreviewTimeoutMs);
            QVERIFY(picOut->Thumbnail().isNull());
            QVERIFY(!picIn->Thumbnail().isNull());
        }

        Find<QLineEdit>(*form_, "txtLightAngle")->setText(QStringLiteral("135"));
        SetBevelSize(QStringLiteral("5"));
        SelectRow(*form_, 1);
        const QString reason =
            QString::fromStdString(FailureOf([&] { LoadPictureFile(broken.toStdString()); }));
        QVERIFY(!reason.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(picOut->Text(), reason, PreviewTimeoutMs);
        QVERIFY(picIn->Thumbnail().isNull());
        QVERIFY(dialogs_->calls.size() == 1 && dialogs_->calls.front().kind == DialogCall::Kind::OpenFiles);
    }

    // A drawing previews as the run renders it; a drawing still rendering
    // when another row is wanted is given up, its renderer killed.
    void aDrawingPreviewsAndIsGivenUpWhenTheRowChanges()
    {
        const QString drawing = sandbox_->Path(QStringLiteral("drawing.svg"));
        const QString slow = sandbox_->Path(QStringLiteral("slow.svg"));
        const std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" ";
        std::ofstream(drawing.toStdString()) << svg << "width=\"30\" height=\"20\"><text y=\"16\" font-size=\"16\">Ab</text></svg>";
        // Wide blurs over a large drawing: seconds of work, then a picture.
        std::string blurred = svg + "width=\"3000\" height=\"3000\"><filter id=\"b\"><feGaussianBlur stdDeviation=\"300\"/></filter>";
        for (int i = 0; i < 4; ++i)
            blurred += "<g filter=\"url(#b)\"><rect width=\"" + std::to_string(3000 - i * 500) + "\" height=\"1500\" fill=\"#e03020\"/></g>";
        std::ofstream(slow.toStdString()) << blurred << "</svg>";

        QObject context;
        std::vector<PreviewSourceShown> shown;
        PreviewWorker worker(&context, {[&](const PreviewSourceShown& source) { shown.push_back(source); }, [](const PreviewResultShown&) {}}, 1);
        const auto request = [](std::uint64_t source, const QString& path) {
            PreviewRequest wanted;
            wanted.generation = source;
            wanted.source = source;
            wanted.path = path.toStdString();
            wanted.box = QSize(100, 100);
            return wanted;
        };
        worker.Post(request(1, slow));
        QTest::qWait(200);
        worker.Post(request(2, drawing));
        QTRY_VERIFY_WITH_TIMEOUT(!shown.empty(), PreviewTimeoutMs);
        QCOMPARE(shown.size(), std::size_t(1));
        QCOMPARE(shown.front().source, std::uint64_t(2));
        QCOMPARE(shown.front().failure, QString());
        QCOMPARE(shown.front().picture.full.size(), QSize(30, 20));
        const Picture run = LoadPictureFile(drawing.toStdString()).picture;
        int same = 0;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 30; ++x)
                same += shown.front().picture.full.pixel(x, y) == run.Pixel(x, y) ? 1 : 0;
        QCOMPARE(same, 30 * 20);
        QVERIFY(::waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD);
    }

    void largePicturesAreFittedAndOpenAtFullSize()
    {
        const QString photo = sandbox_->Picture(QStringLiteral("in/photo.png"), QSize(800, 600));
        Open(true);
        AddFiles({photo});
        SelectRow(*form_, 0);
        PreviewBox* picOut = Box(*form_, "picOut");
        QTRY_VERIFY_WITH_TIMEOUT(!picOut->Thumbnail().isNull(), PreviewTimeoutMs);
        const QSize thumbnail = picOut->Thumbnail().size();
        const QSize box = picOut->BoxSize();
        QVERIFY(thumbnail.width() <= box.width() && thumbnail.height() <= box.height());
        QVERIFY(thumbnail.width() == box.width() || thumbnail.height() == box.height());
        QVERIFY(std::abs(thumbnail.width() * 600 - thumbnail.height() * 800) <= 800);

        // A picture three times the pane's size: the pointer shows a 1:1 detail.
        const QImage plain = picOut->grab().toImage();
        QTest::mouseMove(picOut, picOut->rect().center());
        QMouseEvent move(QEvent::MouseMove, QPointF(picOut->rect().center()), picOut->mapToGlobal(QPointF(picOut->rect().center())),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(picOut, &move);
        QVERIFY(picOut->grab().toImage() != plain);

        // Return on the focused pane opens it as a click does.
        picOut->setFocus();
        QTest::keyClick(picOut, Qt::Key_Return);
        auto* view = form_->findChild<ZoomView*>();
        QVERIFY(view != nullptr && view->isVisible() && !view->isModal());
        QCOMPARE(view->CurrentZoom(), ZoomView::Zoom::OneToOne);
        QCOMPARE(view->Canvas().Picture(), Bevelled(photo, "5"));
        QCOMPARE(view->Canvas().size(), QSize(800, 600));
        QTRY_COMPARE(QApplication::activeWindow(), view);

        // At 4:1 each pixel is a block of 4 by 4 of its own colour.
        // A button's key clicks it after a short animation.
        QTest::keyClick(view, Qt::Key_4);
        QTRY_COMPARE(view->CurrentZoom(), ZoomView::Zoom::FourToOne);
        QCOMPARE(view->Canvas().size(), QSize(3200, 2400));
        const QImage& picture = view->Canvas().Picture();
        const QImage blocks =
            view->Canvas().grab(QRect(0, 0, 8, 8)).toImage().convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                QCOMPARE(blocks.pixel(x, y), picture.pixel(x / 4, y / 4));

        // Dragging pans the view.
        ZoomCanvas* canvas = &view->Canvas();
        QScrollBar* across = view->findChild<QScrollArea*>()->horizontalScrollBar();
        across->setValue(400);
        const QPoint start(across->value() + 100, 100);
        QTest::mousePress(canvas, Qt::LeftButton, Qt::NoModifier, start);
        QTest::mouseMove(canvas, start + QPoint(60, 0));
        QTest::mouseRelease(canvas, Qt::LeftButton, Qt::NoModifier, start + QPoint(60, 0));
        QCOMPARE(across->value(), 340);

        // The view follows the preview and keeps its zoom.
        SetBevelSize(QStringLiteral("9"));
        QTRY_COMPARE_WITH_TIMEOUT(view->Canvas().Picture(), Bevelled(photo, "9"), PreviewTimeoutMs);
        QCOMPARE(view->CurrentZoom(), ZoomView::Zoom::FourToOne);
        QCOMPARE(across->value(), 340);

        QTest::keyClick(view, Qt::Key_F);
        QTRY_VERIFY(view->Canvas().Scale() < 1.0);
        QVERIFY(view->Canvas().width() <= view->findChild<QScrollArea*>()->viewport()->width());
    }
};

TOLLAMERE_REGISTER_TEST(PreviewTest)

} // namespace tollamere

#include "preview_test.moc"
