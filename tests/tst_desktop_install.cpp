// Installation and the Debian package, made from the build as a user or a packager makes them:
// the installed tree, its desktop entry and AppStream metadata validated by the desktop's own
// tools, and the .deb's name, dependencies and files.

#include "support/core/ProgramProcess.h"
#include "update/Website.h"

#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTest>

using namespace quorlane::test;

namespace {

const QString AppId = QStringLiteral("io.github.quorlane.Quorlane");

[[nodiscard]] QString BuildDir()
{
    return qEnvironmentVariable("QUORLANE_BUILD_DIR");
}

[[nodiscard]] QStringList FilesBelow(const QString& Root)
{
    QStringList Files;
    QDirIterator It(Root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (It.hasNext())
        Files << QDir(Root).relativeFilePath(It.next());
    Files.sort();
    return Files;
}

[[nodiscard]] QStringList ExpectedFiles(const QString& Prefix)
{
    QStringList Files = {Prefix + "bin/quorlane",
                         Prefix + "share/applications/" + AppId + ".desktop",
                         Prefix + "share/doc/quorlane/changelog.gz",
                         Prefix + "share/doc/quorlane/copyright",
                         Prefix + "share/man/man1/quorlane.1.gz",
                         Prefix + "share/icons/hicolor/scalable/apps/" + AppId + ".svg",
                         Prefix + "share/metainfo/" + AppId + ".metainfo.xml"};
    Files.sort();
    return Files;
}

// The installed program answers without a display.
void CheckRuns(const QString& Program)
{
    const TProgramRun Run = RunProcess(Program, {"--version"});
    QCOMPARE(Run.ExitCode, 0);
    QCOMPARE(Run.Out, QByteArray("Quorlane 1.0\n"));
}

// The documentation files Debian asks of every package: the licence in the machine-readable
// copyright format, carrying LICENSE's text, and a changelog compressed with gzip -9n.
void CheckDocumentation(const QString& DocDir)
{
    QFile Copyright(DocDir + "/copyright");
    QVERIFY(Copyright.open(QIODevice::ReadOnly));
    const QString Text = QString::fromUtf8(Copyright.readAll());
    QVERIFY2(Text.startsWith("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"),
             qPrintable(Text));
    QVERIFY(Text.contains("\nFiles: *\nCopyright: 2026 The Quorlane developers\nLicense: Expat\n"));
    QFile License(qEnvironmentVariable("QUORLANE_SOURCE_DIR") + "/LICENSE");
    QVERIFY(License.open(QIODevice::ReadOnly));
    // Each paragraph of LICENSE, its lines indented by one blank, paragraphs parted by " .".
    const QStringList Paragraphs = QString::fromUtf8(License.readAll()).trimmed().split("\n\n");
    QStringList Indented;
    for (const QString& Paragraph : Paragraphs)
        Indented << " " + QString(Paragraph).replace("\n", "\n ");
    QVERIFY2(Text.endsWith("\nLicense: Expat\n" + Indented.join("\n .\n") + "\n"), qPrintable(Text));

    QFile Changelog(DocDir + "/changelog.gz");
    QVERIFY(Changelog.open(QIODevice::ReadOnly));
    const QByteArray Gz = Changelog.readAll();
    QVERIFY(Gz.startsWith("\x1f\x8b\x08"));
    QCOMPARE(Gz.mid(4, 4), QByteArray(4, '\0'));   // -n: no time stamp
    QCOMPARE(int(Gz.at(8)), 2);                      // -9: best compression
    const TProgramRun Unzip = RunProcess(QStringLiteral("gzip"), {"-dc", DocDir + "/changelog.gz"});
    QCOMPARE(Unzip.ExitCode, 0);
    QVERIFY2(Unzip.Out.startsWith("quorlane (1.0) unstable; urgency=medium\n"), Unzip.Out.constData());
    QVERIFY(Unzip.Out.contains("\n -- The Quorlane developers <quorlane@users.noreply.github.com>  "));
}

}  // namespace

class TestDesktopInstall : public QObject
{
    Q_OBJECT
private slots:
    void installTree();
    void debianPackage();
};

void TestDesktopInstall::installTree()
{
    QTemporaryDir Prefix;
    const TProgramRun Install = RunProcess(QStringLiteral("cmake"), {"--install", BuildDir(), "--prefix", Prefix.path()});
    QVERIFY2(Install.ExitCode == 0, Install.Err.constData());
    QCOMPARE(FilesBelow(Prefix.path()), ExpectedFiles(QString()));
    CheckRuns(Prefix.filePath("bin/quorlane"));
    CheckDocumentation(Prefix.filePath("share/doc/quorlane"));

    const QString Desktop = Prefix.filePath("share/applications/" + AppId + ".desktop");
    QFile Entry(Desktop);
    QVERIFY(Entry.open(QIODevice::ReadOnly));
    const QList<QByteArray> Lines = Entry.readAll().split('\n');
    for (const char* Line : {"Exec=quorlane --from-desktop %F", "Icon=io.github.quorlane.Quorlane", "Type=Application",
                             "MimeType=text/plain;inode/directory;", "Categories=Development;Utility;"})
        QVERIFY2(Lines.contains(Line), Line);

    if (!HasCommand(QStringLiteral("desktop-file-validate")) || !HasCommand(QStringLiteral("appstreamcli")))
        QSKIP("desktop-file-utils or appstream missing (scripts/install-deps.sh installs them)");
    const TProgramRun DesktopCheck = RunProcess(QStringLiteral("desktop-file-validate"), {Desktop});
    QVERIFY2(DesktopCheck.ExitCode == 0 && !DesktopCheck.Out.contains("error"), DesktopCheck.Out.constData());
    const TProgramRun MetaCheck = RunProcess(
        QStringLiteral("appstreamcli"), {"validate", "--no-net", Prefix.filePath("share/metainfo/" + AppId + ".metainfo.xml")});
    QVERIFY2(MetaCheck.ExitCode == 0, (MetaCheck.Out + MetaCheck.Err).constData());

    QSvgRenderer Icon(Prefix.filePath("share/icons/hicolor/scalable/apps/" + AppId + ".svg"));
    QVERIFY(Icon.isValid());
    QCOMPARE(Icon.defaultSize(), QSize(128, 128));
}

void TestDesktopInstall::debianPackage()
{
    for (const char* Tool : {"cpack", "dpkg-deb", "dpkg-shlibdeps"})
        if (!HasCommand(QString::fromLatin1(Tool)))
            QSKIP("cpack or dpkg-dev missing (scripts/install-deps.sh installs them)");
    QTemporaryDir Out;
    const TProgramRun Pack = RunProcess(QStringLiteral("cpack"),
                                        {"-G", "DEB", "--config", BuildDir() + "/CPackConfig.cmake", "-B", Out.path()},
                                        Out.path(), HeadlessEnvironment(), 300000);
    QVERIFY2(Pack.ExitCode == 0, (Pack.Out + Pack.Err).constData());
    const QString Deb = Out.filePath("quorlane_1.0_amd64.deb");
    QVERIFY2(QFile::exists(Deb), Pack.Out.constData());

    const auto Field = [&Deb](const char* Name) {
        return QString::fromUtf8(RunProcess(QStringLiteral("dpkg-deb"), {"-f", Deb, Name}).Out).trimmed();
    };
    QCOMPARE(Field("Package"), QStringLiteral("quorlane"));
    QCOMPARE(Field("Version"), QStringLiteral("1.0"));
    QCOMPARE(Field("Architecture"), QStringLiteral("amd64"));
    // The address the About box links to.
    QCOMPARE(Field("Homepage"), quorlane::WebsiteHomeUrl().toString());
    // Computed from the binary by dpkg-shlibdeps, not written by hand.
    const QString Depends = Field("Depends");
    for (const char* Library : {"libc6", "libstdc++6", "libqt6core6", "libqt6gui6", "libqt6widgets6",
                                "libqt6network6", "libqt6svg6"})
        QVERIFY2(Depends.contains(QLatin1String(Library)), qPrintable(Depends));

    QStringList Listed;
    for (const QString& Line : QString::fromUtf8(RunProcess(QStringLiteral("dpkg-deb"), {"-c", Deb}).Out).split(u'\n'))
        if (!Line.isEmpty() && !Line.startsWith(u'd'))   // files, not folders
            Listed << Line.section(u' ', -1).mid(2);      // "./usr/bin/quorlane" -> "usr/bin/quorlane"
    Listed.sort();
    QCOMPARE(Listed, ExpectedFiles(QStringLiteral("usr/")));

    QTemporaryDir Root;
    QCOMPARE(RunProcess(QStringLiteral("dpkg-deb"), {"-x", Deb, Root.path()}).ExitCode, 0);
    CheckRuns(Root.filePath("usr/bin/quorlane"));
    CheckDocumentation(Root.filePath("usr/share/doc/quorlane"));

    // Debian's own checker finds no error; its warnings are printed for the reader.
    if (!HasCommand(QStringLiteral("lintian")))
        QSKIP("lintian missing (scripts/install-deps.sh installs it)");
    const TProgramRun Lint = RunProcess(QStringLiteral("lintian"), {"--tag-display-limit", "0", Deb}, Out.path(),
                                        HeadlessEnvironment(), 300000);
    const QString Report = QString::fromUtf8(Lint.Out + Lint.Err);
    for (const QString& Line : Report.split(u'\n', Qt::SkipEmptyParts))
        qInfo("lintian: %s", qPrintable(Line));
    QVERIFY2(!Report.contains(QRegularExpression(QStringLiteral("^E: "), QRegularExpression::MultilineOption)),
             qPrintable(Report));
}

QTEST_GUILESS_MAIN(TestDesktopInstall)
#include "tst_desktop_install.moc"
