// SPDX-License-Identifier: MIT
#include "app_test_support.h"
#include "failure_report.h"
#include "format_registry.h"
#include "output_options_dialog.h"
#include "runtime_error.h"
#include "window_support.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPixmap>

#include <cmath>
#include <map>
#include <numbers>

namespace tollamere {

class WindowSupportTest : public QObject {
    Q_OBJECT

private slots:
    // The Options dialog offers every format written, from the format
    // table, in the order users look for them.
    void outputOptionsOfferTheWrittenFormatsInTheirOrder()
    {
        OutputOptionsDialog dialog(OutputOptions{});
        QComboBox* formats = nullptr;
        for (QComboBox* box : dialog.findChildren<QComboBox*>())
            if (box->itemData(0).toString().isEmpty() && box->count() > 3)
                formats = box;
        QVERIFY(formats != nullptr);
        QStringList offered;
        for (int i = 1; i < formats->count(); ++i) {
            offered << formats->itemData(i).toString();
            QCOMPARE(formats->itemText(i), offered.back().toUpper());
        }
        QStringList expected{"jpg", "png", "webp", "avif", "jxl", "bmp", "gif", "tif", "ico", "cur"};
        expected.removeIf([](const QString& extension) { return !CanWritePictureExtension(extension.toStdString()); });
        QCOMPARE(offered, expected);
        QCOMPARE(formats->itemText(0), QStringLiteral("Same as the input"));
    }

    // The scales field: a refused text keeps the dialog open with the field
    // marked; a good one is taken, kept in the store and read back.
    void outputOptionsTakeScales()
    {
        OutputOptionsDialog dialog(OutputOptions{});
        auto* scales = dialog.findChild<QLineEdit*>(QStringLiteral("txtScales"));
        QVERIFY(scales != nullptr);
        QCOMPARE(scales->text(), QStringLiteral("1x"));
        dialog.show();
        scales->setText(QStringLiteral("1x,2"));
        dialog.accept();
        QVERIFY(dialog.isVisible());
        QVERIFY(scales->hasFocus() || QApplication::focusWidget() == scales || scales->selectedText() == scales->text());
        scales->setText(QStringLiteral("1x,2x,3x"));
        dialog.accept();
        QVERIFY(!dialog.isVisible());
        const OutputOptions chosen = dialog.Options();
        QCOMPARE(chosen.scales.size(), std::size_t(3));
        QCOMPARE(chosen.scales[1].label, std::string("2x"));
        std::map<QString, QString> store;
        OutputOptionsToSettings(chosen, [&](const QString& key, const QString& text) { store[key] = text; });
        QCOMPARE(OutputOptionsFromSettings([&](const QString& key) { return store[key]; }).scales, chosen.scales);
    }

    void applicationTitle_data()
    {
        QTest::addColumn<QString>("productName");
        QTest::addColumn<QString>("title");
        QTest::newRow("no blank keeps the name") << "Tollamere" << "Tollamere";
        QTest::newRow("short name still drops its last word") << "Tollamere Batch" << "Tollamere";
        QTest::newRow("but only the last") << "Tollamere Batch Converter" << "Tollamere Batch";
        // 65 characters in, 32 out.
        QTest::newRow("six ten-letter words") << "Abcdefghij Bcdefghijk Cdefghijkl Defghijklm Efghijklmn Fghijklmno"
                                              << "Abcdefghij Bcdefghijk Cdefghijkl";
        QTest::newRow("what is left without a blank stays")
            << "Abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwx Tools"
            << "Abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwx";
    }

    void applicationTitle()
    {
        QFETCH(QString, productName);
        QFETCH(QString, title);
        QCOMPARE(ApplicationTitleFor(productName), title);
    }

    void failureReportTextIsExact()
    {
        QCOMPARE(FailureReportText("Invalid picture", "PushButton2_Click", 154),
                 std::string("Invalid picture\r\nin Quorrik2016/11/03.Form1.PushButton2_Click at line 154\r\r"
                             "Please email screenshot of this message to support@tollamere.app"));
        QCOMPARE(FailureReportText("", "Form_Load", 100),
                 std::string("\r\nin Quorrik2016/11/03.Form1.Form_Load at line 100\r\rPlease email screenshot of this "
                             "message to support@tollamere.app"));
    }

    void messageLineBreaks()
    {
        QCOMPARE(DisplayText(QStringLiteral("Overflow\r\nin Form1 at line 154\r\rPlease")),
                 QStringLiteral("Overflow\nin Form1 at line 154\n\nPlease"));
    }

    void cursorHotspot()
    {
        QCOMPARE(ReadCursorHotspot(CraftCursorFile(5, 7)), std::optional<QPoint>(QPoint(5, 7)));
        QCOMPARE(ReadCursorHotspot(CraftCursorFile(0x0102, 0x0304)), std::optional<QPoint>(QPoint(0x0102, 0x0304)));
        QCOMPARE(ReadCursorHotspot(CraftCursorFile(5, 7, 1)), std::optional<QPoint>());
        QCOMPARE(ReadCursorHotspot(CraftCursorFile(5, 7).left(21)), std::optional<QPoint>());
        QCOMPARE(ReadCursorHotspot(QByteArrayView("GIF89a")), std::optional<QPoint>());
    }

    void cursorFileLoadsWithItsHotspot()
    {
        Sandbox sandbox;
        const QString path = sandbox.File(QStringLiteral("HAND-M.CUR"), CraftCursorFile(5, 7));
        const QCursor cursor = LoadCursorFile(path);
        QCOMPARE(cursor.shape(), Qt::BitmapCursor);
        QCOMPARE(cursor.hotSpot(), QPoint(5, 7));
        QCOMPARE(cursor.pixmap().size(), QSize(32, 32));
        QCOMPARE(cursor.pixmap().toImage().pixelColor(16, 16), QColor(220, 30, 20));

        const QString broken = sandbox.File(QStringLiteral("broken.cur"), "not a cursor");
        QVERIFY_THROWS_EXCEPTION(RuntimeError, LoadCursorFile(broken));
        QVERIFY_THROWS_EXCEPTION(RuntimeError, LoadCursorFile(sandbox.Path(QStringLiteral("missing.cur"))));
    }

    void iconIsABevelledButtonAtEverySize()
    {
        for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
            const QImage icon = DrawProgramIcon(size);
            QCOMPARE(icon.size(), QSize(size, size));
            const int last = size - 1;
            for (const QPoint corner : {QPoint(0, 0), QPoint(last, 0), QPoint(0, last), QPoint(last, last)})
                QCOMPARE(qAlpha(icon.pixel(corner)), 0);
            // Lit from the upper left: that rim is brighter than the flat top,
            // the opposite one darker. The rim's middle is 26 of 64 pixels out.
            const int centre = size / 2;
            const int out = static_cast<int>(std::lround(26.0 / 64 * size / std::numbers::sqrt2));
            const int face = qGray(icon.pixel(centre, centre));
            QVERIFY2(qGray(icon.pixel(centre - out, centre - out)) > face, qPrintable(QString::number(size)));
            QVERIFY2(qGray(icon.pixel(centre + out, centre + out)) < face, qPrintable(QString::number(size)));
        }

        // The window shows the installed icons' 64-pixel button.
        const QImage window = MakeProgramIcon().pixmap(64, 64).toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(window, DrawProgramIcon(64));
    }
};

TOLLAMERE_REGISTER_TEST(WindowSupportTest)

} // namespace tollamere

#include "window_support_test.moc"
