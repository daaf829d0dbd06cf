// SPDX-License-Identifier: MIT
#include "Form1.h"
#include "process_environment.h"
#include "program_start.h"
#include "qt_codec.h"
#include "qt_dialogs.h"
#include "window_support.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdlib>

namespace {

// Help and the version need no display: they are answered before the
// window's application, which would fail without one, is made.
[[noreturn]] void AnswerHelpOrVersion(int& argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    tollamere::DescribeCommandLine(parser);
    // parse, not process: Qt's own window options (-platform, ...) are not errors here.
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    parser.showHelp(EXIT_SUCCESS);
}

} // namespace

int main(int argc, char* argv[])
{
    tollamere::EnsureStandardStreamsOpen();
    QCoreApplication::setApplicationVersion(QStringLiteral(TOLLAMERE_VERSION));
    if (tollamere::AsksForHelpOrVersion(argc, argv))
        AnswerHelpOrVersion(argc, argv);

    QApplication application(argc, argv);
    tollamere::LoadQtImagePlugins();
    QGuiApplication::setDesktopFileName(QStringLiteral("app.tollamere.Tollamere"));
    QCommandLineParser parser;
    tollamere::DescribeCommandLine(parser);
    parser.process(application);
    if (parser.isSet(QStringLiteral("dark")) || tollamere::DesktopPrefersDark()) {
        QApplication::setStyle(QStringLiteral("Fusion"));
        QApplication::setPalette(tollamere::DarkPalette());
    }
    // QApplication has taken its own options out of argv; the rest are read
    // as bytes, since a file name need not be text.
    const std::vector<std::string> startupPaths = tollamere::PathArguments(argc, argv);

    tollamere::QtDialogs dialogs;
    tollamere::Form1Environment environment;
    environment.programFolder =
        tollamere::FindProgramFolder(QCoreApplication::applicationDirPath(), QStringLiteral(TOLLAMERE_DATA_FROM_PROGRAM));
    tollamere::Form1 form(dialogs, environment);
    dialogs.SetOwner(&form);
    form.Form_Load();
    form.show();
    form.AddStartupPaths(startupPaths);
    return application.exec();
}
