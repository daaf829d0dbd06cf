// SPDX-License-Identifier: MIT
#include "app_test_support.h"
#include "program_start.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <filesystem>

namespace tollamere {

namespace {

std::vector<std::string> Paths(std::vector<const char*> arguments)
{
    arguments.insert(arguments.begin(), "tollamere");
    return PathArguments(static_cast<int>(arguments.size()), arguments.data());
}

bool Asks(std::vector<const char*> arguments)
{
    arguments.insert(arguments.begin(), "tollamere");
    return AsksForHelpOrVersion(static_cast<int>(arguments.size()), arguments.data());
}

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

// The window's program with no display at all, unless a platform is named.
Run RunWindowProgram(const QStringList& arguments, const QString& platform = QString())
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    if (!platform.isEmpty())
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(TOLLAMERE_WINDOW), arguments);
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

} // namespace

// What the program finds before its window opens: its own files, in a build
// tree and after an install, and the paths and options it was started with.
class ProgramStartTest : public QObject {
    Q_OBJECT

private slots:
    void programFolderIsFoundBesideTheProgramOrInstalled()
    {
        // Each row lays out the files, then names the folder that must be found.
        struct Row {
            const char* name;
            std::vector<const char*> files;
            const char* expected;
        };
        const Row rows[] = {
            {"build tree", {"bin/Samples/a.png"}, "bin"},
            {"installed", {"share/tollamere/Samples/a.png"}, "share/tollamere"},
            {"installed pointer only", {"share/tollamere/HAND-M.CUR"}, "share/tollamere"},
            {"installed skin only", {"share/tollamere/x/o.cjs"}, "share/tollamere"},
            {"beside wins over installed", {"bin/HAND-M.CUR", "share/tollamere/Samples/a.png"}, "bin"},
            {"nothing anywhere", {}, "bin"},
            {"another program's share", {"share/other/Samples/a.png"}, "bin"},
        };
        for (const Row& row : rows) {
            Sandbox tree;
            tree.Folder(QStringLiteral("bin"));
            for (const char* file : row.files)
                tree.File(QLatin1String(file));
            QVERIFY2(FindProgramFolder(tree.Path(QStringLiteral("bin"))) == tree.Path(QLatin1String(row.expected)),
                     row.name);
        }

        // The install's own layout, when it is not the usual one.
        Sandbox tree;
        tree.Folder(QStringLiteral("games"));
        tree.File(QStringLiteral("data/tollamere/Samples/a.png"));
        QCOMPARE(FindProgramFolder(tree.Path(QStringLiteral("games")), QStringLiteral("../data/tollamere")),
                 tree.Path(QStringLiteral("data/tollamere")));
    }

    void pathArgumentsKeepTheirBytesAndBecomeAbsolute()
    {
        const std::string here = std::filesystem::current_path().string();
        QCOMPARE(Paths({"/pictures/a.png", "b.png", "./c/./d.png", "../e.png", "f/"}),
                 (std::vector<std::string>{"/pictures/a.png", here + "/b.png", here + "/c/d.png",
                                           here + "/../e.png", here + "/f"}));
        // Bytes that are no UTF-8 reach the list as they are.
        QCOMPARE(Paths({"/pictures/caf\xe9.png"}), std::vector<std::string>{"/pictures/caf\xe9.png"});
        // Options are not paths; after "--" everything is, and "-" always is.
        QCOMPARE(Paths({"-platform-like", "--style", "/a", "-", "--", "-b", "--", "/c"}),
                 (std::vector<std::string>{"/a", here + "/-", here + "/-b", here + "/--", "/c"}));
        QCOMPARE(Paths({"", "/a", ""}), std::vector<std::string>{"/a"});
        QVERIFY(Paths({}).empty());
    }

    void helpAndVersionAreRecognisedBeforeTheWindow()
    {
        for (const char* option : {"-h", "--help", "--help-all", "-v", "--version", "-?"})
            QVERIFY2(Asks({"/a.png", option}), option);
        QVERIFY(!Asks({}));
        QVERIFY(!Asks({"/a.png", "--helpful"}));
        QVERIFY(!Asks({"--", "--help"}));
    }

    void windowProgramAnswersHelpAndVersionWithoutADisplay()
    {
        const Run help = RunWindowProgram({QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        QVERIFY2(help.out.contains(QStringLiteral("Usage:")) && help.out.contains(QStringLiteral("PATH")),
                 qPrintable(help.out));
        QVERIFY(help.out.contains(QStringLiteral("--version")));

        const Run version = RunWindowProgram({QStringLiteral("/some/picture.png"), QStringLiteral("--version")});
        QCOMPARE(version.exitCode, 0);
        QVERIFY2(QRegularExpression(QStringLiteral("^tollamere \\d+\\.\\d+\\.\\d+\\n$")).match(version.out).hasMatch(),
                 qPrintable(version.out));
        QVERIFY(version.err.isEmpty());

        // Qt's own window options are no reason to refuse --help.
        QCOMPARE(RunWindowProgram({QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("-h")})
                     .exitCode,
                 0);

        const Run unknown = RunWindowProgram({QStringLiteral("--frobnicate")}, QStringLiteral("offscreen"));
        QCOMPARE(unknown.exitCode, 1);
        QVERIFY2(unknown.err.contains(QStringLiteral("frobnicate")), qPrintable(unknown.err));
        QVERIFY(unknown.out.isEmpty());
    }

    void startupPathsAreAddedAsADropAddsThem()
    {
        ClearStore();
        FakeDialogs dialogs;
        Sandbox program;
        const auto form = OpenWindow(dialogs, program.Path());

        Sandbox given;
        const QString first = given.File(QStringLiteral("notes.txt"));
        const QString folder = given.Folder(QStringLiteral("D"));
        given.File(QStringLiteral("D/Sub/y.png"));
        given.File(QStringLiteral("D/x.png"));
        given.File(QStringLiteral("D/.hidden.png"));
        given.File(QStringLiteral("D/~draft.png"));
        const QString missing = given.Path(QStringLiteral("~gone.bmp"));

        form->AddStartupPaths({QFile::encodeName(first).toStdString(), QFile::encodeName(folder).toStdString(),
                               QFile::encodeName(missing).toStdString()});
        QTRY_COMPARE(Rows(*form), (QStringList{first, folder + QStringLiteral("/x.png"),
                                               folder + QStringLiteral("/Sub/y.png"), missing}));
        QVERIFY(!form->IsBusy());

        form->AddStartupPaths({});
        QTest::qWait(100);
        QCOMPARE(RowCount(*form), 4);
        QVERIFY(dialogs.calls.empty());
    }
};

TOLLAMERE_REGISTER_TEST(ProgramStartTest)

} // namespace tollamere

#include "program_start_test.moc"
