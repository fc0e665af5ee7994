// Starting a Tika server of our own: where Java and the server file are found, what the hint
// says when one is missing, and how a server that fails to come up is reported and ended.
// Stand-in "java" programs are small shell scripts; the real server is tried by
// tst_window_documents_tika.

#include "support/core/HttpStandIn.h"
#include "tika/TikaServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <sys/types.h>

using namespace quorlane;
using namespace quorlane::test;

namespace {

// An executable shell script named Name in Dir.
QString WriteScript(const QString& Dir, const QString& Name, const QByteArray& Body)
{
    const QString path = QDir(Dir).filePath(Name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write("#!/bin/sh\n" + Body + "\n") < 0) return {};
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

bool WriteFile(const QString& Path, const QByteArray& Bytes)
{
    QFile file(Path);
    return file.open(QIODevice::WriteOnly) && file.write(Bytes) == Bytes.size();
}

bool ProcessExists(qint64 Pid)
{
    return Pid > 0 && (::kill(pid_t(Pid), 0) == 0 || errno != ESRCH);
}

}   // namespace

class TikaLaunchTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(FDir.isValid());
        FCache = FDir.filePath(QStringLiteral("cache"));
        QVERIFY(QDir().mkpath(FCache));
        qputenv("QUORLANE_TIKA_CACHE", FCache.toLocal8Bit());
    }
    void cleanup()
    {
        qunsetenv("QUORLANE_TIKA_CACHE");
        QDir(FCache).removeRecursively();
    }

    void findsTheNewestJar_data()
    {
        QTest::addColumn<QStringList>("cacheJars");     // names; "empty:" marks a file of 0 bytes
        QTest::addColumn<QStringList>("programJars");
        QTest::addColumn<QString>("expected");          // "cache/<name>", "program/<name>" or ""
        QTest::newRow("cache, newest of two") << QStringList{"tika-server-standard-3.1.0.jar", "tika-server-standard-3.2.2.jar"}
                                              << QStringList{} << "cache/tika-server-standard-3.2.2.jar";
        QTest::newRow("an empty download does not count")
            << QStringList{"tika-server-standard-3.1.0.jar", "empty:tika-server-standard-3.2.2.jar"} << QStringList{}
            << "cache/tika-server-standard-3.1.0.jar";
        QTest::newRow("beside the program") << QStringList{} << QStringList{"tika-server-standard-3.0.0.jar"}
                                            << "program/tika-server-standard-3.0.0.jar";
        QTest::newRow("the cache comes first") << QStringList{"tika-server-standard-3.0.0.jar"}
                                               << QStringList{"tika-server-standard-3.2.2.jar"}
                                               << "cache/tika-server-standard-3.0.0.jar";
        QTest::newRow("other jars are not it") << QStringList{"tika-app-3.2.2.jar"} << QStringList{"server.jar"} << "";
    }

    void findsTheNewestJar()
    {
        QFETCH(QStringList, cacheJars);
        QFETCH(QStringList, programJars);
        QFETCH(QString, expected);
        const QString program = FDir.filePath(QStringLiteral("program"));
        QDir(program).removeRecursively();
        QVERIFY(QDir().mkpath(program));
        const auto make = [](const QString& Dir, const QStringList& Names) {
            for (QString name : Names) {
                const bool empty = name.startsWith(QLatin1String("empty:"));
                if (empty) name.remove(0, 6);
                if (!WriteFile(QDir(Dir).filePath(name), empty ? QByteArray() : QByteArray("PK"))) return false;
            }
            return true;
        };
        QVERIFY(make(FCache, cacheJars));
        QVERIFY(make(program, programJars));

        const QString jar = FindTikaServerFiles(program).Jar;
        if (expected.isEmpty()) {
            QCOMPARE(jar, QString());
            return;
        }
        const QString dir = expected.startsWith(QLatin1String("cache/")) ? FCache : program;
        QCOMPARE(jar, QFileInfo(QDir(dir).filePath(expected.section(u'/', 1))).absoluteFilePath());
    }

    void hint_data()
    {
        QTest::addColumn<QString>("java");
        QTest::addColumn<QString>("jar");
        QTest::addColumn<QStringList>("says");
        const QString how = QStringLiteral("Quorlane starts the Apache Tika server that extracts the text by itself when "
                                           "none is running; it needs Java and the server file "
                                           "tika-server-standard-*.jar.");
        const QString java = QStringLiteral("\r\nJava is missing. Install it with:\r\n    sudo apt-get install default-jre-headless");
        const QString jar = QStringLiteral("\r\nThe server file is missing (looked in %1 and beside the program). "
                                           "Fetch it with:\r\n    FETCH");
        QTest::newRow("both there") << "/usr/bin/java" << "/x/tika-server-standard-3.2.2.jar" << QStringList{how};
        QTest::newRow("no java") << "" << "/x/tika-server-standard-3.2.2.jar" << QStringList{how, java};
        QTest::newRow("no server file") << "/usr/bin/java" << "" << QStringList{how, jar};
        QTest::newRow("neither") << "" << "" << QStringList{how, java, jar};
    }

    // How to get a server, and for each missing piece the one command that installs it.
    void hint()
    {
        QFETCH(QString, java);
        QFETCH(QString, jar);
        QFETCH(QStringList, says);
        const QString expected = says.join(QString()).arg(FCache);
        const QString text = TikaServerHint({java, jar}, QStringLiteral("Quorlane"), QStringLiteral("FETCH"));
        QCOMPARE(text, expected);
        QVERIFY(!text.contains(QStringLiteral("reinstall"), Qt::CaseInsensitive));
        QVERIFY(!text.contains(QStringLiteral("installer"), Qt::CaseInsensitive));
        QCOMPARE(TikaFailureWarningText(QStringLiteral("F"), text), QStringLiteral("F\r\n\r\n") + text);
        QCOMPARE(TikaFailureWarningText(QStringLiteral("F"), QString()), QStringLiteral("F"));
    }

    void fetchCommand()
    {
        // From a build folder of the source tree: the project's script.
        const QString source = FDir.filePath(QStringLiteral("source"));
        QVERIFY(QDir().mkpath(source + QStringLiteral("/scripts")) && QDir().mkpath(source + QStringLiteral("/build")));
        QVERIFY(WriteFile(source + QStringLiteral("/scripts/tika-server.sh"), "#!/bin/sh\n"));
        QCOMPARE(TikaServerFetchCommand(source + QStringLiteral("/build")),
                 QStringLiteral("bash %1 fetch").arg(QFileInfo(source + QStringLiteral("/scripts/tika-server.sh")).canonicalFilePath()));
        // Installed elsewhere: a download into the cache folder, where the program looks.
        const QString fetch = TikaServerFetchCommand(FDir.filePath(QStringLiteral("bin")));
        QCOMPARE(fetch, QStringLiteral("mvn -q dependency:copy -Dartifact=org.apache.tika:tika-server-standard:3.2.2 "
                                       "-DoutputDirectory=%1")
                            .arg(FCache));
    }

    void localEndpoints_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("local");
        QTest::newRow("localhost") << "http://localhost:9998/tika" << true;
        QTest::newRow("LOCALHOST") << "http://LOCALHOST:9998/tika" << true;
        QTest::newRow("127.0.0.1") << "http://127.0.0.1:9998/tika" << true;
        QTest::newRow("127.0.0.2") << "http://127.0.0.2:9998/tika" << true;
        QTest::newRow("::1") << "http://[::1]:9998/tika" << true;
        QTest::newRow("another machine") << "http://192.0.2.7:9998/tika" << false;
        QTest::newRow("a name") << "http://tika.example.org:9998/tika" << false;
    }

    void localEndpoints()
    {
        QFETCH(QString, url);
        QFETCH(bool, local);
        QCOMPARE(IsLocalEndpoint(QUrl(url)), local);
    }

    void somethingListens()
    {
        HttpStandIn server;
        QVERIFY(SomethingListens(server.Url(), QEventLoop::ExcludeUserInputEvents));
        QUrl nowhere(QStringLiteral("http://127.0.0.1/tika"));
        nowhere.setPort(HttpStandIn::UnusedPort());
        QVERIFY(!SomethingListens(nowhere, QEventLoop::ExcludeUserInputEvents));
    }

    void startFailures_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<int>("cancelAfterMs");   // 0: never
        QTest::addColumn<QString>("error");       // a prefix
        QTest::addColumn<bool>("stillRunning");
        QTest::newRow("exits at once") << QByteArray("echo 'no good' >&2; exit 3") << 20000 << 0
                                       << "Error: The document text server stopped while starting (exit code 3); its log is "
                                       << false;
        QTest::newRow("never answers") << QByteArray("exec sleep 60") << 2000 << 0
                                       << "Error: The document text server did not answer within 2 seconds of starting."
                                       << true;
        QTest::newRow("cancelled") << QByteArray("exec sleep 60") << 20000 << 300 << "Cancelled." << true;
    }

    // A server that does not come up is reported; one still starting keeps running for the next
    // attempt and ends with its owner.
    void startFailures()
    {
        QFETCH(QByteArray, script);
        QFETCH(int, timeoutMs);
        QFETCH(int, cancelAfterMs);
        QFETCH(QString, error);
        QFETCH(bool, stillRunning);
        const QString java = WriteScript(FDir.path(), QStringLiteral("java"), script);
        QVERIFY(!java.isEmpty());
        TTikaCancel cancel;
        if (cancelAfterMs > 0) QTimer::singleShot(cancelAfterMs, &cancel, &TTikaCancel::Cancel);

        qint64 pid = 0;
        {
            TTikaServer server;
            QString why;
            QElapsedTimer clock;
            clock.start();
            QVERIFY(!server.Start({java, FDir.filePath(QStringLiteral("tika-server-standard-3.2.2.jar"))},
                                  HttpStandIn::UnusedPort(), timeoutMs, QEventLoop::ExcludeUserInputEvents, &cancel, why));
            QVERIFY2(why.startsWith(error), qPrintable(why));
            QVERIFY2(clock.elapsed() < timeoutMs + 10000, qPrintable(QString::number(clock.elapsed())));
            QCOMPARE(server.IsRunning(), stillRunning);
            QVERIFY(!server.IsReady());
            pid = server.ProcessId();
            if (stillRunning) QVERIFY(ProcessExists(pid));
            if (error.contains(QStringLiteral("its log is"))) {
                QFile log(server.LogFile());
                QVERIFY(log.open(QIODevice::ReadOnly));
                QVERIFY(log.readAll().contains("no good"));
                QVERIFY(log.fileName().startsWith(FCache));
            }
        }
        // Gone with its owner.
        QVERIFY(pid == 0 || !ProcessExists(pid));
    }

private:
    QTemporaryDir FDir;
    QString FCache;
};

QTEST_GUILESS_MAIN(TikaLaunchTest)
#include "tst_tika_launch.moc"
