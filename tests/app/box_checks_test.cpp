// SPDX-License-Identifier: MIT
#include "app_test_support.h"
#include "output_options_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

namespace tollamere {

// The parameter boxes and the Options dialog say, as they are typed in,
// what they cannot take and what they take but read otherwise.
class BoxChecksTest : public QObject {
    Q_OBJECT

private slots:
    void init() { ClearStore(); }

    void eachBoxMarksWhatItCannotTake_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("verdict");
        QTest::addColumn<QString>("reason");
        QTest::newRow("size in range") << "txtBevelSize" << "254" << "fine" << "Bevel Size: a whole number from 0 to 254";
        QTest::newRow("size no number") << "txtBevelSize" << "5-" << "refused"
                                        << "Bevel Size: \"5-\" is not a number; it takes a whole number from 0 to 254.";
        QTest::newRow("size too large") << "txtBevelSize" << "300" << "refused"
                                        << "Bevel Size: 300 is out of range; it takes a whole number from 0 to 254.";
        QTest::newRow("size below 0") << "txtBevelSize" << "-1" << "refused"
                                      << "Bevel Size: -1 is out of range; it takes a whole number from 0 to 254.";
        QTest::newRow("size with a fraction") << "txtBevelSize" << "0.5" << "unusual"
                                              << "Bevel Size: 0.5 is taken as 0; it takes a whole number from 0 to 254.";
        QTest::newRow("angle any") << "txtLightAngle" << "-725.5" << "fine" << "Light Angle: any number of degrees";
        QTest::newRow("angle beyond") << "txtLightAngle" << "1e308" << "refused"
                                      << "Light Angle: 1e308 is out of range; it takes any number of degrees.";
        QTest::newRow("elevation empty") << "txtLightElevation" << "" << "refused"
                                         << "Light Elevation: \"\" is not a number; it takes from -90 to 90 degrees.";
        QTest::newRow("elevation -90") << "txtLightElevation" << "-90" << "fine"
                                       << "Light Elevation: from -90 to 90 degrees";
        QTest::newRow("elevation 91") << "txtLightElevation" << "91" << "unusual"
                                      << "Light Elevation: 91 degrees lights the picture as 89 does, from the "
                                         "opposite side; it reads from -90 to 90 degrees.";
        QTest::newRow("elevation 300") << "txtLightElevation" << "300" << "unusual"
                                       << "Light Elevation: 300 degrees lights the picture as -60 does; it reads "
                                          "from -90 to 90 degrees.";
    }

    void eachBoxMarksWhatItCannotTake()
    {
        QFETCH(QString, box);
        QFETCH(QString, text);
        QFETCH(QString, verdict);
        QFETCH(QString, reason);
        FakeDialogs dialogs;
        Sandbox program;
        const auto form = OpenWindow(dialogs, program.Path());
        auto* edit = Find<QLineEdit>(*form, qPrintable(box));
        edit->setText(text);
        QCOMPARE(edit->property("verdict").toString(), verdict);
        QCOMPARE(edit->toolTip(), reason);
        // Letters cannot be typed at all.
        edit->setCursorPosition(0);
        QTest::keyClicks(edit, QStringLiteral("xyz"));
        QCOMPARE(edit->text(), text);
    }

    void optionsDialogWarnsOfOneNameForAllAndReturnMeansOk()
    {
        OutputOptionsDialog dialog{OutputOptions()};
        auto* name = dialog.findChild<QLineEdit*>();
        auto* warning = dialog.findChild<QLabel*>(QStringLiteral("NameWarning"));
        QCOMPARE(name->property("verdict").toString(), QStringLiteral("fine"));
        name->setText(QStringLiteral("x"));
        QCOMPARE(name->property("verdict").toString(), QStringLiteral("unusual"));
        QCOMPARE(warning->text(), SameNameWarning);
        name->setText(QStringLiteral("x-{n}"));
        QCOMPARE(name->property("verdict").toString(), QStringLiteral("fine"));
        QVERIFY(warning->text().isEmpty());
        name->setText(QString());
        QCOMPARE(name->property("verdict").toString(), QStringLiteral("refused"));

        // The PNG level is for PNG only.
        auto* format = dialog.findChildren<QComboBox*>().at(1);
        auto* pngLevel = dialog.findChildren<QSpinBox*>().at(1);
        format->setCurrentIndex(format->findData(QStringLiteral("webp")));
        QVERIFY(!pngLevel->isEnabled());
        format->setCurrentIndex(0);
        QVERIFY(pngLevel->isEnabled());

        // Return after Restore Defaults presses OK, not Restore Defaults again.
        name->setText(QStringLiteral("x"));
        auto* buttons = dialog.findChild<QDialogButtonBox*>();
        dialog.show();
        QPushButton* restore = buttons->button(QDialogButtonBox::RestoreDefaults);
        restore->setFocus();
        QTest::mouseClick(restore, Qt::LeftButton);
        QCOMPARE(name->text(), QStringLiteral("{name}"));
        QTest::keyClick(restore, Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
};

TOLLAMERE_REGISTER_TEST(BoxChecksTest)

} // namespace tollamere

#include "box_checks_test.moc"
