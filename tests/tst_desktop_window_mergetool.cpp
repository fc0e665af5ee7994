// git mergetool with the real program on a real X server with a window manager: a file with two
// real conflicts, resolved in the merge window, saved and closed, is staged by git; a window
// closed without saving leaves git to restore the file and keep it unmerged.

#include "support/core/ByteFiles.h"
#include "support/core/ProgramProcess.h"
#include "support/core/XSession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace quorlane::test;

namespace {

[[nodiscard]] QString ScreenshotPath(const QString& Name)
{
    const QString Dir = qEnvironmentVariable("QUORLANE_BUILD_DIR") + QStringLiteral("/tests/screenshots");
    QDir().mkpath(Dir);
    return Dir + u'/' + Name + QStringLiteral(".png");
}

[[nodiscard]] QByteArray ReadAll(const QString& Path)
{
    QFile File(Path);
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray("<missing>");
}

const QByteArray BaseText = "int area(int w, int h)\n{\n    return w * h;\n}\n\nint one = 1;\nint two = 2;\nint three = 3;\n\n"
                            "int main()\n{\n    return area(2, 3);\n}\n";
const QByteArray OursText = "long area(long w, long h)\n{\n    return w * h;\n}\n\nint one = 1;\nint two = 2;\nint three = 3;\n\n"
                            "int main()\n{\n    return area(2, 4) > 7;\n}\n";
const QByteArray TheirsText = "int area(int width, int height)\n{\n    return w * h;\n}\n\nint one = 1;\nint two = 2;\nint three = 3;\n\n"
                              "int main()\n{\n    return area(3, 3) != 9;\n}\n";

}  // namespace

class TestDesktopMergetool : public QObject
{
    Q_OBJECT
private:
    TXSession FX;
    QTemporaryDir FHome;
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

    [[nodiscard]] QString WaitForMergeWindow(int TimeoutMs = 120000) const
    {
        QElapsedTimer Clock;
        Clock.start();
        do {
            const QStringList Found =
                FX.Run(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--name", "Quorlane 1\\.0 merge$"})
                    .split(u'\n', Qt::SkipEmptyParts);
            if (!Found.isEmpty())
                return Found.constFirst();
            QThread::msleep(100);
        } while (Clock.elapsed() < TimeoutMs);
        return {};
    }

    // A repository whose merge of "other" into main leaves conflict.c with two conflicts.
    void MakeConflict(const QString& Repo)
    {
        const auto Git = [&](const QStringList& Args) {
            const TProgramRun Run = RunProcess(QStringLiteral("git"), Args, Repo, Env());
            return Run.ExitCode;
        };
        QCOMPARE(Git({"init", "-q", "-b", "main"}), 0);
        QCOMPARE(Git({"config", "user.email", "t@example.org"}), 0);
        QCOMPARE(Git({"config", "user.name", "Tester"}), 0);
        // The three lines the README gives, here for this repository only.
        QCOMPARE(Git({"config", "mergetool.quorlane.cmd",
                      QStringLiteral("\"%1\" -o \"$MERGED\" \"$LOCAL\" \"$BASE\" \"$REMOTE\"").arg(ProgramPath())}),
                 0);
        QCOMPARE(Git({"config", "mergetool.quorlane.trustExitCode", "true"}), 0);
        QCOMPARE(Git({"config", "merge.tool", "quorlane"}), 0);
        QCOMPARE(Git({"config", "mergetool.keepBackup", "false"}), 0);
        WriteBytesFile(Repo, "conflict.c", BaseText);
        QCOMPARE(Git({"add", "."}), 0);
        QCOMPARE(Git({"commit", "-q", "-m", "base"}), 0);
        QCOMPARE(Git({"checkout", "-q", "-b", "other"}), 0);
        WriteBytesFile(Repo, "conflict.c", TheirsText);
        QCOMPARE(Git({"commit", "-q", "-am", "theirs"}), 0);
        QCOMPARE(Git({"checkout", "-q", "main"}), 0);
        WriteBytesFile(Repo, "conflict.c", OursText);
        QCOMPARE(Git({"commit", "-q", "-am", "ours"}), 0);
        QCOMPARE(Git({"merge", "-q", "other"}), 1);
        QVERIFY(ReadAll(Repo + "/conflict.c").count("<<<<<<<") == 2);
    }

    [[nodiscard]] QString Status(const QString& Repo) const
    {
        return QString::fromUtf8(RunProcess(QStringLiteral("git"), {"status", "--porcelain"}, Repo, Env()).Out).trimmed();
    }

    // Closes the window through the window manager and waits until it is gone.
    [[nodiscard]] bool CloseAndWait(const QString& Window)
    {
        const qint64 Owner = FX.WindowOwner(Window);
        FX.CloseWindow(Window);
        QElapsedTimer Clock;
        Clock.start();
        while (Clock.elapsed() < 30000) {
            if (FX.WindowOwner(Window) != Owner)
                return true;
            QThread::msleep(200);
        }
        return false;
    }

private slots:
    void initTestCase()
    {
        if (!HasXTools())
            QSKIP("xvfb-run, openbox, xdotool or import missing (scripts/install-deps.sh installs them)");
        if (!HasCommand(QStringLiteral("git")))
            QSKIP("git missing");
        QString Error;
        QVERIFY2(FX.Start(Error), qPrintable(Error));
    }

    // Both conflicts chosen with the keys, saved, closed: git stages the result.
    void resolvedAndSavedIsStaged()
    {
        QTemporaryDir Repo;
        MakeConflict(Repo.path());
        QProcess Mergetool;
        Mergetool.setProcessEnvironment(Env());
        Mergetool.setWorkingDirectory(Repo.path());
        Mergetool.start(QStringLiteral("git"), {"mergetool", "-y"});
        QVERIFY(Mergetool.waitForStarted());
        const QString Window = WaitForMergeWindow();
        QVERIFY2(!Window.isEmpty(), "no merge window");
        QThread::msleep(500);
        QVERIFY(FX.Screenshot(ScreenshotPath(QStringLiteral("mergetool-open"))));
        for (const char* Key : {"ctrl+1", "F8", "ctrl+4", "ctrl+4"})   // LOCAL; then REMOTE before LOCAL
            FX.SendKeys(Window, QString::fromLatin1(Key));
        FX.SendKeys(Window, QStringLiteral("ctrl+s"));
        QThread::msleep(500);
        QVERIFY(FX.Screenshot(ScreenshotPath(QStringLiteral("mergetool-resolved"))));
        QVERIFY2(CloseAndWait(Window), "the merge window did not close");
        QVERIFY(Mergetool.waitForFinished(60000));
        QCOMPARE(Mergetool.exitCode(), 0);
        QCOMPARE(ReadAll(Repo.filePath("conflict.c")),
                 QByteArray("long area(long w, long h)\n{\n    return w * h;\n}\n\nint one = 1;\nint two = 2;\nint three = 3;\n\n"
                            "int main()\n{\n    return area(3, 3) != 9;\n    return area(2, 4) > 7;\n}\n"));
        QCOMPARE(Status(Repo.path()), QStringLiteral("M  conflict.c"));
    }

    // Closed without saving: the exit status tells git the merge was not done; git puts the
    // file back as it was, conflict markers and all, and it stays unmerged.
    void closedWithoutSavingIsRestored()
    {
        QTemporaryDir Repo;
        MakeConflict(Repo.path());
        const QByteArray Before = ReadAll(Repo.filePath("conflict.c"));
        QProcess Mergetool;
        Mergetool.setProcessEnvironment(Env());
        Mergetool.setWorkingDirectory(Repo.path());
        Mergetool.start(QStringLiteral("git"), {"mergetool", "-y"});
        QVERIFY(Mergetool.waitForStarted());
        const QString Window = WaitForMergeWindow();
        QVERIFY2(!Window.isEmpty(), "no merge window");
        QVERIFY2(CloseAndWait(Window), "the merge window did not close");   // nothing done: no question
        QVERIFY(Mergetool.waitForFinished(60000));
        QVERIFY(Mergetool.exitCode() != 0);
        QCOMPARE(ReadAll(Repo.filePath("conflict.c")), Before);
        QCOMPARE(Status(Repo.path()), QStringLiteral("UU conflict.c"));
    }
};

QTEST_GUILESS_MAIN(TestDesktopMergetool)
#include "tst_desktop_window_mergetool.moc"
