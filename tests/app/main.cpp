// SPDX-License-Identifier: MIT
#include "app_test_support.h"

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>

namespace tollamere {

std::vector<TestFactory>& TestClasses()
{
    static std::vector<TestFactory> classes;
    return classes;
}

} // namespace tollamere

int main(int argc, char* argv[])
{
    // The settings store, the desktop folder and every file a test writes
    // live here, never in the real user's home.
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(format, QSettings::UserScope, home.path() + QStringLiteral("/config"));
        QSettings::setPath(format, QSettings::SystemScope, home.path() + QStringLiteral("/system"));
    }

    QApplication application(argc, argv);
    const QString storeFile = QSettings(QStringLiteral("Tollamere"), QStringLiteral("Tollamere")).fileName();
    if (!storeFile.startsWith(home.path())) {
        std::fprintf(stderr, "The settings store would be %s, outside the test folder\n", qPrintable(storeFile));
        return 1;
    }

    int failed = 0;
    for (const tollamere::TestFactory make : tollamere::TestClasses()) {
        const std::unique_ptr<QObject> tests = make();
        failed += QTest::qExec(tests.get(), argc, argv) != 0 ? 1 : 0;
    }
    return failed == 0 ? 0 : 1;
}
