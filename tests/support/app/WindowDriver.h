#pragma once

#include "app/MainForm.h"
#include "support/app/RecordingPlatform.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A real TfrmMain on the recording platform, its settings kept in a private APPDATA folder, and
// a folder for the files a test compares. Controls are found by their object names, as a user's
// tools find them.
class TWindowDriver
{
public:
    explicit TWindowDriver(bool Show = true);
    ~TWindowDriver();

    TRecordingPlatform Platform;
    QTemporaryDir AppData;
    QTemporaryDir Files;
    std::unique_ptr<TfrmMain> Window;

    // The control named Name, or nullptr (tests QVERIFY it).
    template <typename T>
    [[nodiscard]] T* Find(const char* Name) const
    {
        return Window->findChild<T*>(QLatin1String(Name));
    }

    // A file in the test's folder; lines are joined with CR LF, the last one ends too.
    QString WriteLines(const QString& Name, const QStringList& Lines);
    QString WriteBytes(const QString& Name, const QByteArray& Bytes);
    [[nodiscard]] QString PathOf(const QString& Name) const;
    // Name as a typed path: blanks stay as typed, "<dir>" is the test's folder, others lie in it.
    [[nodiscard]] QString ResolvePath(const QString& Name) const;
    QString MakeFolder(const QString& Name);   // a folder in the test's folder, made with its parents

    void SetPaths(const QString& Left, const QString& Right);
    void Trigger(const char* ActionName);   // a menu item or an action, by name
    void Click(const char* ButtonName);     // a button, by name, as the user clicks it

    // A command's refusals: the columns of their table (Unsaved, Left and Right names for
    // ResolvePath, the expected Log), and a row's state before the command (typed paths, the
    // unsaved flag, a Cancel answer ready for the question).
    static void AddRefusalColumns();
    void SetUpRefusal(bool Unsaved, const QString& Left, const QString& Right);

    // Compares left.txt and right.txt holding these lines or bytes as text files and forgets
    // what the comparison said.
    void CompareLines(const QStringList& Left, const QStringList& Right);
    void CompareBytes(const QByteArray& Left, const QByteArray& Right);

    [[nodiscard]] QString Status() const;   // the status line

    // The three cell texts of grid row Row.
    [[nodiscard]] QStringList Row(int Row) const;
    // The item list of a path box.
    [[nodiscard]] QStringList History(const char* BoxName) const;
    [[nodiscard]] QString SettingsFile() const;

    // The other main windows of this process (pairs opened from folder rows).
    [[nodiscard]] QList<TfrmMain*> OtherWindows() const;

    // Processes events until the newest background recompute has handed back.
    [[nodiscard]] bool WaitForRecompute(int TimeoutMs = 10000);
};
