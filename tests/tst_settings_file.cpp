// Where the settings file lives, and reading and writing it: a write that fails half-way or races
// another program's write never leaves a file that neither wrote.

#include "settings/SettingsFile.h"
#include "settings/SettingsRecord.h"
#include "support/core/ByteFiles.h"
#include "support/core/FileSizeLimit.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace quorlane::test;

namespace {

// Sets an environment variable for a scope, restoring it afterwards.
class TEnv
{
public:
    TEnv(const char* Name, const QByteArray& Value, bool Unset = false)
        : FName(Name)
        , FHad(qEnvironmentVariableIsSet(Name))
        , FOld(qgetenv(Name))
    {
        if (Unset)
            qunsetenv(Name);
        else
            qputenv(Name, Value);
    }
    ~TEnv()
    {
        if (FHad)
            qputenv(FName, FOld);
        else
            qunsetenv(FName);
    }

private:
    const char* FName;
    bool FHad;
    QByteArray FOld;
};

QByteArray RecordBytes(const QString& FontName)
{
    TSettingsRecord R;
    R.FontName = FontName;
    for (int I = 0; I < 50; ++I)
        R.LeftHistory.append(QStringLiteral("/some/rather/long/path/number/%1/file.txt").arg(I));
    return EncodeSettings(R);
}

}   // namespace

class TestSettingsFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setApplicationName(QStringLiteral("Quorlane")); }

    // (APPDATA, XDG_CONFIG_HOME) -> the folder that must hold settings.dt, made when missing.
    void Location_data()
    {
        QTest::addColumn<QString>("AppData");   // "<unset>" for no variable
        QTest::addColumn<QString>("XdgConfig");
        QTest::addColumn<QString>("Expected");   // relative to the test's folder; "<exe>" the executable's
        QTest::newRow("APPDATA set") << "app/data" << "xdg" << "app/data/Quorlane";
        QTest::newRow("APPDATA with trailing slash") << "app/data/" << "xdg" << "app/data/Quorlane";
        QTest::newRow("APPDATA empty: XDG folder") << "" << "xdg" << "xdg/Quorlane";
        QTest::newRow("APPDATA unset: XDG folder") << "<unset>" << "xdg" << "xdg/Quorlane";
        QTest::newRow("XDG folder unusable: executable's folder") << "<unset>" << "blocker/xdg" << "<exe>";
    }
    void Location()
    {
        QFETCH(QString, AppData);
        QFETCH(QString, XdgConfig);
        QFETCH(QString, Expected);
        QTemporaryDir Dir;
        QVERIFY(WriteBytesFile(Dir.path(), QStringLiteral("blocker"), "a file where a folder would go").size());
        const bool Unset = AppData == QLatin1String("<unset>");
        const QByteArray AppDataValue =
            Unset || AppData.isEmpty() ? QByteArray() : (Dir.path() + QLatin1Char('/') + AppData).toLocal8Bit();
        const TEnv App("APPDATA", AppDataValue, Unset);
        const TEnv Xdg("XDG_CONFIG_HOME", QDir(Dir.path()).filePath(XdgConfig).toLocal8Bit());

        const QString Name = GetSettingsFileName();
        const QString Folder = Expected == QLatin1String("<exe>")
                                   ? QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Quorlane"))
                                   : QDir(Dir.path()).filePath(Expected);
        QCOMPARE(QDir::cleanPath(Name), QDir::cleanPath(Folder + QStringLiteral("/settings.dt")));
        QVERIFY(QFileInfo(Folder).isDir());
        if (Expected == QLatin1String("<exe>"))
            QDir(Folder).removeRecursively();
    }

    void ReadStates()
    {
        QTemporaryDir Dir;
        QCOMPARE(ReadSettingsFile(Dir.filePath(QStringLiteral("none.dt"))).State, TSettingsFileState::Missing);
        QCOMPARE(ReadSettingsFile(Dir.path()).State, TSettingsFileState::Unreadable);   // a folder by that name
        QVERIFY(QFile::link(Dir.filePath(QStringLiteral("nowhere")), Dir.filePath(QStringLiteral("dangling.dt"))));
        QCOMPARE(ReadSettingsFile(Dir.filePath(QStringLiteral("dangling.dt"))).State, TSettingsFileState::Unreadable);

        const QByteArray Bytes = RecordBytes(QStringLiteral("Courier New"));
        const QString Path = WriteBytesFile(Dir.path(), QStringLiteral("settings.dt"), Bytes);
        const TSettingsFileContent Content = ReadSettingsFile(Path);
        QCOMPARE(Content.State, TSettingsFileState::Read);
        QCOMPARE(Content.Bytes, Bytes);
        if (::geteuid() != 0) {   // root reads whatever the mode says
            QVERIFY(QFile::setPermissions(Path, QFileDevice::WriteOwner));
            QCOMPARE(ReadSettingsFile(Path).State, TSettingsFileState::Unreadable);
        }
    }

    void WriteReplacesTheWholeFile()
    {
        QTemporaryDir Dir;
        const QString Path = WriteBytesFile(Dir.path(), QStringLiteral("settings.dt"), QByteArray(5000, 'x'));
        const QByteArray Bytes = RecordBytes(QStringLiteral("Mono"));
        QVERIFY(WriteSettingsFile(Path, Bytes));
        QCOMPARE(ReadBytesFile(Path), Bytes);
        QCOMPARE(QDir(Dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("settings.dt")});
    }

    void FailuresLeaveTheEarlierFile_data()
    {
        QTest::addColumn<QString>("How");
        QTest::newRow("disk full half-way") << "limit";
        QTest::newRow("folder missing") << "missing";
        QTest::newRow("folder read-only") << "readonly";
    }
    void FailuresLeaveTheEarlierFile()
    {
        QFETCH(QString, How);
        QTemporaryDir Dir;
        const QByteArray Earlier = RecordBytes(QStringLiteral("Courier New"));
        const QString Path = WriteBytesFile(Dir.path(), QStringLiteral("settings.dt"), Earlier);
        const QByteArray Later = RecordBytes(QStringLiteral("A much longer font name than before, to grow the file"));

        if (How == QLatin1String("limit")) {
            const TFileSizeLimit Limit(Later.size() / 2);
            QVERIFY(Limit.Active());
            QVERIFY(!WriteSettingsFile(Path, Later));
        } else if (How == QLatin1String("missing")) {
            QVERIFY(!WriteSettingsFile(Dir.filePath(QStringLiteral("gone/settings.dt")), Later));
        } else {
            if (::geteuid() == 0)
                QSKIP("root writes into read-only folders");
            QVERIFY(QFile::setPermissions(Dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
            QVERIFY(!WriteSettingsFile(Path, Later));
            QFile::setPermissions(Dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        }
        QCOMPARE(ToHex(ReadBytesFile(Path)), ToHex(Earlier));
        QCOMPARE(QDir(Dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("settings.dt")});
    }

    // Two programs saving at once: one begins, the other saves whole, the first finishes last.
    // The file holds one of the two records, never the bytes of both.
    void InterleavedWritersLeaveOneRecord()
    {
        QTemporaryDir Dir;
        const QString Path = Dir.filePath(QStringLiteral("settings.dt"));
        const QByteArray First = RecordBytes(QStringLiteral("First font"));
        const QByteArray Second = RecordBytes(QStringLiteral("Second, longer font name"));

        QSaveFile Slow(Path);
        QVERIFY(Slow.open(QIODevice::WriteOnly));
        QVERIFY(Slow.write(First.left(10)) == 10);
        QVERIFY(WriteSettingsFile(Path, Second));
        QCOMPARE(ReadBytesFile(Path), Second);
        QVERIFY(Slow.write(First.mid(10)) == First.size() - 10);
        QVERIFY(Slow.commit());
        QCOMPARE(ReadBytesFile(Path), First);
        QVERIFY(DecodeSettings(ReadBytesFile(Path)).Complete());
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settings_file.moc"
