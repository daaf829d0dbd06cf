// SPDX-License-Identifier: MIT
#include "app_test_support.h"
#include "look_dialog.h"

#include <QComboBox>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace tollamere {

// The dialog over a store of its own: what it lists, and its commands.
class LookDialogTest : public QObject {
    Q_OBJECT

    static QString Listed(const LookDialog& dialog) { return dialog.findChild<QComboBox*>(QStringLiteral("looks"))->currentText(); }

private slots:
    void init() { ClearStore(); }

    void savedLooksRoundTripThroughAFile()
    {
        QTemporaryDir folder;
        NamedLook glass = ShippedLooks()[2];
        glass.name.clear();
        LookDialog dialog(glass, LookStore());
        // A look equal to a listed one takes its name, whatever it came with.
        QCOMPARE(Listed(dialog), QStringLiteral("Glass pill"));
        QCOMPARE(dialog.SaveAs(QStringLiteral("Glass pill")),
                 QStringLiteral("\"Glass pill\" is a look that comes with Tollamere; save yours under another name"));

        QSignalSpy changed(&dialog, &LookDialog::LookChanged);
        dialog.findChild<QComboBox*>(QStringLiteral("technique"))->setCurrentIndex(int(BevelTechnique::Chisel));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(Listed(dialog), QStringLiteral("(not saved)"));
        QCOMPARE(dialog.SaveAs(QStringLiteral(" Plate ")), QString());
        QCOMPARE(Listed(dialog), QStringLiteral("Plate"));
        const QString file = folder.filePath(QStringLiteral("plate.look"));
        QCOMPARE(dialog.Export(file), QString());
        QCOMPARE(dialog.DeleteChosen(), QString());
        QCOMPARE(Listed(dialog), QStringLiteral("(not saved)"));
        QCOMPARE(LookStore().Saved().size(), std::size_t(0));

        // Imported, it is saved again under its name and shown.
        QCOMPARE(dialog.Import(file), QString());
        QCOMPARE(Listed(dialog), QStringLiteral("Plate"));
        QCOMPARE(dialog.Look().look.technique, BevelTechnique::Chisel);
        QCOMPARE(dialog.Look().bevelSize, std::string("24"));
        QCOMPARE(changed.count(), 2);
        QVERIFY(dialog.Import(folder.filePath(QStringLiteral("missing.look"))).contains(QStringLiteral("missing.look")));
        const QString failed = dialog.Export(folder.filePath(QStringLiteral("no/such/folder.look")));
        QVERIFY2(failed.contains(QStringLiteral("no/such")), qPrintable(failed));
    }

    // The style shapes the smooth and chisel techniques' band only, as the
    // depth does; the shipped pillow shows its own.
    void styleGoesWithTheSmoothTechniques()
    {
        LookDialog dialog(ShippedLooks().front(), LookStore());
        auto* style = dialog.findChild<QComboBox*>(QStringLiteral("style"));
        QVERIFY(!style->isEnabled());
        dialog.findChild<QComboBox*>(QStringLiteral("technique"))->setCurrentIndex(int(BevelTechnique::Chisel));
        QVERIFY(style->isEnabled());
        style->setCurrentIndex(int(BevelStyle::Outer));
        QCOMPARE(dialog.Look().look.style, BevelStyle::Outer);

        const NamedLook pillow = ShippedLooks().back();
        LookDialog shown(pillow, LookStore());
        QCOMPARE(Listed(shown), QStringLiteral("Pillow"));
        QCOMPARE(shown.findChild<QComboBox*>(QStringLiteral("style"))->currentIndex(), int(BevelStyle::Pillow));
    }
};

TOLLAMERE_REGISTER_TEST(LookDialogTest)

} // namespace tollamere

#include "look_dialog_test.moc"
