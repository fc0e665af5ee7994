// The real program on a real X server with a window manager, as a desktop user meets it: started
// with two paths it opens and compares them, and git runs it as its diff tool, one file after the
// other and as a folder comparison of git's two temporary trees. Each run is looked at (a
// screenshot in the build folder) and closed through the window manager.

#include "support/core/ByteFiles.h"
#include "support/core/ProgramProcess.h"
#include "support/core/XSession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace quorlane::test;

namespace {

const QString MainWindowName = QStringLiteral("Quorlane 1.0");

[[nodiscard]] QString ScreenshotPath(const QString& Name)
{
    const QString Dir = qEnvironmentVariable("QUORLANE_BUILD_DIR") + QStringLiteral("/tests/screenshots");
    QDir().mkpath(Dir);
    return Dir + u'/' + Name + QStringLiteral(".png");
}

}  // namespace

class TestDesktopWindow : public QObject
{
    Q_OBJECT
private:
    TXSession FX;
    QTemporaryDir FHome;   // settings of the runs, never the user's
    QTemporaryDir FRuntime;

    [[nodiscard]] QProcessEnvironment Env() const
    {
        QProcessEnvironment E = FX.Environment();
        E.insert(QStringLiteral("HOME"), FHome.path());
        E.insert(QStringLiteral("XDG_CONFIG_HOME"), FHome.filePath(".config"));
        E.insert(QStringLiteral("APPDATA"), FHome.filePath("appdata"));
        E.insert(QStringLiteral("GIT_CONFIG_NOSYSTEM"), QStringLiteral("1"));
        E.insert(QStringLiteral("XDG_RUNTIME_DIR"), FRuntime.path());
        return E;
    }

    // The main window of a quorlane run (by its title, so it is found when git started it).
    [[nodiscard]] QString WaitForMainWindow(int TimeoutMs = 120000) const
    {
        QElapsedTimer Clock;
        Clock.start();
        do {
            const QStringList Found = FX.Run(QStringLiteral("xdotool"),
                                             {"search", "--onlyvisible", "--name", "^Quorlane 1\\.0$"})
                                          .split(u'\n', Qt::SkipEmptyParts);
            if (!Found.isEmpty())
                return Found.constFirst();
            QThread::msleep(100);
        } while (Clock.elapsed() < TimeoutMs);
        return {};
    }

    // The box a comparison shows, if one comes within TimeoutMs.
    [[nodiscard]] QString WaitForBox(const QString& Title, int TimeoutMs) const
    {
        QElapsedTimer Clock;
        Clock.start();
        do {
            const QString Found = FX.Run(QStringLiteral("xdotool"),
                                         {"search", "--onlyvisible", "--name", QStringLiteral("^%1$").arg(Title)});
            if (!Found.isEmpty())
                return Found.split(u'\n').constFirst();
            QThread::msleep(100);
        } while (Clock.elapsed() < TimeoutMs);
        return {};
    }

    // Looks at the comparison, answers its boxes and closes the window; waits until it is gone.
    void LookAndClose(const QString& Shot, const QStringList& Boxes)
    {
        const QString Window = WaitForMainWindow();
        QVERIFY2(!Window.isEmpty(), "no main window");
        const qint64 Owner = FX.WindowOwner(Window);
        FLastWindow = Window;
        for (const QString& Title : Boxes) {
            const QString Box = WaitForBox(Title, 120000);
            QVERIFY2(!Box.isEmpty(), qPrintable(QStringLiteral("no box \"%1\"").arg(Title)));
            if (&Title == &Boxes.constLast())
                QVERIFY(FX.Screenshot(ScreenshotPath(Shot)));
            // Closed through the window manager: a key could land on the grid once the box is gone.
            FX.CloseWindow(Box);
            QTRY_VERIFY_WITH_TIMEOUT(FX.Run(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--name",
                                                                       QStringLiteral("^%1$").arg(Title)})
                                         .isEmpty(),
                                     10000);
        }
        if (Boxes.isEmpty()) {
            QThread::msleep(1500);   // a folder comparison writes its rows without a box
            QVERIFY(FX.Screenshot(ScreenshotPath(Shot)));
        }
        // The window manager's close, as the title bar's close button asks for it; asked again
        // while the window stays, as a user clicks again on a busy machine.
        QElapsedTimer Clock;
        Clock.start();
        int Absent = 0;
        for (qint64 Next = 0; Absent < 2 && Clock.elapsed() < 60000; QThread::msleep(200)) {
            Absent = FX.WindowOwner(Window) == Owner ? 0 : Absent + 1;
            if (Absent == 0 && Clock.elapsed() >= Next) {
                FX.CloseWindow(Window);
                Next = Clock.elapsed() + 5000;
            }
        }
        if (Absent < 2)
            FX.Screenshot(ScreenshotPath(Shot + QStringLiteral("-not-closed")));
        QVERIFY2(Absent >= 2, "the window did not close");
    }

    // Waits for Process to end; closes any Quorlane window still up meanwhile.
    [[nodiscard]] bool WaitForEnd(QProcess& Process)
    {
        QElapsedTimer Clock;
        Clock.start();
        while (Clock.elapsed() < 120000) {
            if (Process.state() == QProcess::NotRunning || Process.waitForFinished(5000))
                return true;
            const QString Left = WaitForMainWindow(100);
            if (!Left.isEmpty())
                FX.CloseWindow(Left);
        }
        return false;
    }
    QString FLastWindow;

private slots:
    // A failed run must not leave its windows for the next one to find.
    void cleanup()
    {
        for (const QString& Window : FX.Run(QStringLiteral("xdotool"), {"search", "--name", "^(Quorlane 1\\.0|Information)$"})
                                         .split(u'\n', Qt::SkipEmptyParts))
            FX.Run(QStringLiteral("xdotool"), {"windowkill", Window});
    }

    void initTestCase()
    {
        if (!HasXTools())
            QSKIP("xvfb-run, openbox, xdotool or import missing (scripts/install-deps.sh installs them)");
        QString Error;
        QVERIFY2(FX.Start(Error), qPrintable(Error));
    }

    void opensAndComparesFromCommandLine_data()
    {
        QTest::addColumn<bool>("folders");
        QTest::addColumn<QStringList>("boxes");   // titles of the boxes the comparison shows
        QTest::newRow("two text files") << false << QStringList{"Information"};
        QTest::newRow("two folders") << true << QStringList{};
    }

    void opensAndComparesFromCommandLine()
    {
        QFETCH(bool, folders);
        QFETCH(QStringList, boxes);
        QTemporaryDir Work;
        QString Left = QStringLiteral("left.txt"), Right = QStringLiteral("right.txt");
        if (folders) {
            Left = QStringLiteral("A");
            Right = QStringLiteral("B");
            QDir(Work.path()).mkpath("A/sub");
            QDir(Work.path()).mkpath("B/sub");
            WriteBytesFile(Work.filePath("A"), "same.txt", "1\n");
            WriteBytesFile(Work.filePath("B"), "same.txt", "1\n");
            WriteBytesFile(Work.filePath("A/sub"), "changed.txt", "short\n");
            WriteBytesFile(Work.filePath("B/sub"), "changed.txt", "longer text\n");
            WriteBytesFile(Work.filePath("B"), "new.txt", "n\n");
        } else {
            WriteBytesFile(Work.path(), Left, "int main()\n{\n    return 0;\n}\n");
            WriteBytesFile(Work.path(), Right, "int main()\n{\n    puts(\"hi\");\n    return 1;\n}\n");
        }
        QProcess Program;
        Program.setProcessEnvironment(Env());
        Program.setWorkingDirectory(Work.path());   // relative paths, as typed in a terminal
        Program.start(ProgramPath(), {Left, Right});
        QVERIFY(Program.waitForStarted());
        LookAndClose(QStringLiteral("commandline-") + (folders ? "folders" : "files"), boxes);
        QVERIFY2(WaitForEnd(Program), "the program did not end");
        QCOMPARE(Program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(Program.exitCode(), 0);
        QCOMPARE(Program.readAllStandardError(), QByteArray());
    }

    void gitDifftool_data()
    {
        QTest::addColumn<bool>("dirDiff");
        QTest::newRow("file by file") << false;
        QTest::newRow("-d, two folders") << true;
    }

    void gitDifftool()
    {
        QFETCH(bool, dirDiff);
        if (!HasCommand(QStringLiteral("git")))
            QSKIP("git missing");
        QTemporaryDir Repo;
        const auto Git = [&](const QStringList& Args) {
            const TProgramRun Run = RunProcess(QStringLiteral("git"), Args, Repo.path(), Env());
            if (Run.ExitCode != 0)
                qWarning("git %s: %s", qPrintable(Args.join(u' ')), Run.Err.constData());
            return Run.ExitCode;
        };
        QCOMPARE(Git({"init", "-q"}), 0);
        QCOMPARE(Git({"config", "user.email", "t@example.org"}), 0);
        QCOMPARE(Git({"config", "user.name", "Tester"}), 0);
        // The two lines the README gives, here for this repository only.
        QCOMPARE(Git({"config", "difftool.quorlane.cmd", QStringLiteral("\"%1\" \"$LOCAL\" \"$REMOTE\"").arg(ProgramPath())}), 0);
        QCOMPARE(Git({"config", "diff.tool", "quorlane"}), 0);
        WriteBytesFile(Repo.path(), "one.txt", "alpha\nbeta\ngamma\n");
        QDir(Repo.path()).mkpath("src");
        WriteBytesFile(Repo.filePath("src"), "two.c", "int x;\n");
        QCOMPARE(Git({"add", "."}), 0);
        QCOMPARE(Git({"commit", "-q", "-m", "first"}), 0);
        WriteBytesFile(Repo.path(), "one.txt", "alpha\nBETA\ngamma\ndelta\n");
        WriteBytesFile(Repo.filePath("src"), "two.c", "int x;\nint y;\n");

        QProcess Difftool;
        Difftool.setProcessEnvironment(Env());
        Difftool.setWorkingDirectory(Repo.path());
        Difftool.start(QStringLiteral("git"), dirDiff ? QStringList{"difftool", "-d", "-y", "--tool=quorlane"}
                                                      : QStringList{"difftool", "-y", "--tool=quorlane"});
        QVERIFY(Difftool.waitForStarted());
        if (dirDiff) {
            LookAndClose(QStringLiteral("difftool-dir"), {});
        } else {
            // git starts the next window only after this one has ended.
            for (const char* Shot : {"difftool-1", "difftool-2"})
                LookAndClose(QString::fromLatin1(Shot), {"Information"});
        }
        QVERIFY2(WaitForEnd(Difftool), "git difftool did not end");
        QCOMPARE(Difftool.exitCode(), 0);
        QVERIFY2(WaitForMainWindow(500).isEmpty(), "a window is left over");
    }

    // git difftool -d, then Enter on a folder row: the pair opens as a second window of the same
    // process, beside the folder window. Closing the folder window leaves git waiting (its
    // temporary trees stay for the pair); closing the pair ends the program and git.
    void gitDifftoolWaitsForEveryWindow()
    {
        if (!HasCommand(QStringLiteral("git")))
            QSKIP("git missing");
        QTemporaryDir Repo;
        const auto Git = [&](const QStringList& Args) {
            return RunProcess(QStringLiteral("git"), Args, Repo.path(), Env()).ExitCode;
        };
        QCOMPARE(Git({"init", "-q"}), 0);
        QCOMPARE(Git({"config", "user.email", "t@example.org"}), 0);
        QCOMPARE(Git({"config", "user.name", "Tester"}), 0);
        QCOMPARE(Git({"config", "difftool.quorlane.cmd", QStringLiteral("\"%1\" \"$LOCAL\" \"$REMOTE\"").arg(ProgramPath())}), 0);
        WriteBytesFile(Repo.path(), "one.txt", "alpha\nbeta\ngamma\n");
        QCOMPARE(Git({"add", "."}), 0);
        QCOMPARE(Git({"commit", "-q", "-m", "first"}), 0);
        WriteBytesFile(Repo.path(), "one.txt", "alpha\nBETA\ngamma\ndelta\n");

        QProcess Difftool;
        Difftool.setProcessEnvironment(Env());
        Difftool.setWorkingDirectory(Repo.path());
        Difftool.start(QStringLiteral("git"), {"difftool", "-d", "-y", "--tool=quorlane"});
        QVERIFY(Difftool.waitForStarted());
        const QString Folders = WaitForMainWindow();
        QVERIFY2(!Folders.isEmpty(), "no folder window");
        const qint64 Owner = FX.WindowOwner(Folders);
        QThread::msleep(1500);   // the folder rows are written

        // Enter on the selected row (one.txt, the only one) opens the pair.
        FX.SendKeys(Folders, QStringLiteral("Return"));
        QStringList Windows;
        QElapsedTimer Clock;
        Clock.start();
        do {
            Windows = FX.Run(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--name", "^Quorlane 1\\.0$"})
                          .split(u'\n', Qt::SkipEmptyParts);
        } while (Windows.size() < 2 && Clock.elapsed() < 60000 && (QThread::msleep(100), true));
        QCOMPARE(Windows.size(), 2);
        const QString Pair = Windows.constFirst() == Folders ? Windows.constLast() : Windows.constFirst();
        QCOMPARE(FX.WindowOwner(Pair), Owner);   // the same process
        // The pair's summary box comes; answered, both windows are looked at together.
        const QString Box = WaitForBox(QStringLiteral("Information"), 60000);
        QVERIFY2(!Box.isEmpty(), "no summary box");
        FX.CloseWindow(Box);
        QTRY_VERIFY_WITH_TIMEOUT(WaitForBox(QStringLiteral("Information"), 100).isEmpty(), 10000);
        QVERIFY(FX.Screenshot(ScreenshotPath(QStringLiteral("difftool-dir-pair"))));
        const QString FolderPlace = FX.Run(QStringLiteral("xdotool"), {"getwindowgeometry", Folders});
        const QString PairPlace = FX.Run(QStringLiteral("xdotool"), {"getwindowgeometry", Pair});
        QVERIFY2(FolderPlace.section(u'\n', 1, 1) != PairPlace.section(u'\n', 1, 1),
                 qPrintable(FolderPlace + u'\n' + PairPlace));   // "Position: x,y" differs

        // The folder window goes; git keeps waiting for the pair.
        FX.CloseWindow(Folders);
        QTRY_VERIFY_WITH_TIMEOUT(FX.WindowOwner(Folders) != Owner, 20000);
        QVERIFY(!Difftool.waitForFinished(2000));
        QCOMPARE(FX.WindowOwner(Pair), Owner);
        QVERIFY(FX.Screenshot(ScreenshotPath(QStringLiteral("difftool-dir-pair-left"))));

        FX.CloseWindow(Pair);
        QVERIFY2(WaitForEnd(Difftool), "git difftool did not end");
        QCOMPARE(Difftool.exitCode(), 0);
        QVERIFY2(WaitForMainWindow(500).isEmpty(), "a window is left over");
    }

    // A file manager's "Open With": one file opens the window with it on the left (nothing to
    // compare yet); more than two items compare the first two.
    void openedFromTheDesktopEntry_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("one file") << QStringList{"--from-desktop", "left.txt"} << QStringList{};
        QTest::newRow("one file, as a shell starts it") << QStringList{"left.txt"} << QStringList{};
        QTest::newRow("three files") << QStringList{"--from-desktop", "left.txt", "right.txt", "third.txt"}
                                     << QStringList{"Information"};
    }

    void openedFromTheDesktopEntry()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, boxes);
        QTemporaryDir Work;
        WriteBytesFile(Work.path(), "left.txt", "one\ntwo\n");
        WriteBytesFile(Work.path(), "right.txt", "one\n2\n");
        WriteBytesFile(Work.path(), "third.txt", "3\n");
        QProcess Program;
        Program.setProcessEnvironment(Env());
        Program.setWorkingDirectory(Work.path());
        Program.start(ProgramPath(), args);
        QVERIFY(Program.waitForStarted());
        // The summary box answered, the window is looked at with its status line.
        for (const QString& Title : boxes) {
            const QString Box = WaitForBox(Title, 120000);
            QVERIFY2(!Box.isEmpty(), qPrintable(QStringLiteral("no box \"%1\"").arg(Title)));
            FX.CloseWindow(Box);
            QTRY_VERIFY_WITH_TIMEOUT(WaitForBox(Title, 100).isEmpty(), 10000);
        }
        LookAndClose(QStringLiteral("desktop-entry-%1").arg(args.size()), {});
        QVERIFY2(WaitForEnd(Program), "the program did not end");
        QCOMPARE(Program.exitCode(), 0);
        QCOMPARE(Program.readAllStandardError(), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestDesktopWindow)
#include "tst_desktop_window.moc"
