// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QIcon>
#include <QTimer>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <optional>

#include "core/support/versiontext.h"
#include "form/form2.h"
#include "app/guard.h"
#include "controllers/listcontroller.h"
#include "app/appwindow.h"
#include "common/workingfolder.h"

namespace {

void print(std::FILE* out, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), out);
}

// Reads the command line: the options that answer and end at once, and the
// working folder to start in (left empty when none is given). Returns the
// exit status when the program is to end here.
std::optional<int> readCommandLine(int argc, char** argv, QString& workingFolder)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Learns associations between pairs of number patterns and recalls them.\n"
                       "Solve reads the parameters file veld200gSetup.dat from the working folder "
                       "and writes the job files and the report vld33res.txt there."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the version and exit."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addPositionalArgument(QStringLiteral("FOLDER"),
                                 QStringLiteral("The working folder (default: the current folder)."),
                                 QStringLiteral("[FOLDER]"));

    if (!parser.parse(arguments)) {
        print(stderr, QStringLiteral("duolink: %1\nTry 'duolink --help'.\n").arg(parser.errorText()));
        return 2;
    }
    if (parser.isSet(help)) {
        print(stdout, parser.helpText());
        return 0;
    }
    if (parser.isSet(version)) {
        print(stdout, QString::fromStdString(duolink::versionText("duolink")));
        return 0;
    }
    const QStringList folders = parser.positionalArguments();
    if (folders.size() > 1) {
        print(stderr, QStringLiteral("duolink: one working folder at most\nTry 'duolink --help'.\n"));
        return 2;
    }
    if (!folders.isEmpty()) {
        const QString& folder = folders.first();
        const QString problem = duolink::workingFolderProblem(folder);
        if (!problem.isEmpty()) {
            print(stderr, QStringLiteral("duolink: %1: %2\n").arg(folder, problem));
            return 2;
        }
        workingFolder = folder;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv)
{
    // Past a file-size limit a write fails with EFBIG ("Disk full") instead
    // of the signal ending the program with the user's work.
    std::signal(SIGXFSZ, SIG_IGN);

    // Only the program name reaches the toolkit, so that no argument is taken
    // for one of its options. The command line is read before the window
    // exists: --help and --version need no display.
    int toolkitArgc = 1;
    char* toolkitArgs[] = {argv[0], nullptr};
    QString workingFolder;
    {
        QCoreApplication commandLine(toolkitArgc, toolkitArgs);
        if (const std::optional<int> status = readCommandLine(argc, argv, workingFolder))
            return *status;
    }

    QApplication app(toolkitArgc, toolkitArgs);
    QApplication::setApplicationName(QStringLiteral("duolink"));
    QApplication::setOrganizationName(QStringLiteral("duolink"));
    QApplication::setApplicationVersion(QStringLiteral(DUOLINK_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral(DUOLINK_APP_ID));
    // The desktop's theme first; the icon built into the program where the
    // program is not installed.
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(DUOLINK_APP_ID),
                                                 QIcon(QStringLiteral(":/packaging/" DUOLINK_APP_ID ".svg"))));
    // The toolkit adopts the user's locale; number texts always use ".".
    std::setlocale(LC_NUMERIC, "C");

    duolink::AppWindow window;
    if (!workingFolder.isEmpty())
        window.form()->setWorkingFolder(workingFolder);
    duolink::createInstanceWindow(window.form());
    window.restoreWindowState();
    window.show();
    // A recovery list from a run the single-instance check ended.
    QTimer::singleShot(0, &window, [&window] {
        window.form()->lists()->offerRecoveryList(window.form()->workingFolder());
    });
    QApplication::exec();
    return 0;
}
