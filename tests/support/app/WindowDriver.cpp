#include "support/app/WindowDriver.h"

#include <QApplication>

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTest>

namespace {

QByteArray CrLfLines(const QStringList& Lines)
{
    QByteArray Bytes;
    for (const QString& Line : Lines)
        Bytes += Line.toUtf8() + "\r\n";
    return Bytes;
}

}   // namespace

TWindowDriver::TWindowDriver(bool Show)
{
    QCoreApplication::setApplicationName(QStringLiteral("Quorlane"));
    qputenv("APPDATA", AppData.path().toLocal8Bit());
    Window = std::make_unique<TfrmMain>(Platform);
    // No window test starts a real Tika server by accident; those that want one say so.
    Window->FFindTikaServerFiles = [] { return quorlane::TTikaServerFiles{}; };
    if (Show) {
        Window->show();
        (void)QTest::qWaitForWindowExposed(Window.get());
    }
}

TWindowDriver::~TWindowDriver()
{
    // Windows this one opened end with the test, so none is left for the next to find.
    for (TfrmMain* Other : OtherWindows())
        delete Other;
    Window.reset();
}

QString TWindowDriver::PathOf(const QString& Name) const
{
    return QDir(Files.path()).filePath(Name);
}

QString TWindowDriver::WriteBytes(const QString& Name, const QByteArray& Bytes)
{
    const QString Path = PathOf(Name);
    QFile File(Path);
    if (!File.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(Path));
    File.write(Bytes);
    return Path;
}

QString TWindowDriver::WriteLines(const QString& Name, const QStringList& Lines)
{
    return WriteBytes(Name, CrLfLines(Lines));
}

QString TWindowDriver::ResolvePath(const QString& Name) const
{
    if (Name == QLatin1String("<dir>"))
        return Files.path();
    return Name.trimmed().isEmpty() ? Name : PathOf(Name);
}

QString TWindowDriver::MakeFolder(const QString& Name)
{
    const QString Path = PathOf(Name);
    QDir().mkpath(Path);
    return Path;
}

void TWindowDriver::AddRefusalColumns()
{
    QTest::addColumn<bool>("Unsaved");
    QTest::addColumn<QString>("Left");
    QTest::addColumn<QString>("Right");
    QTest::addColumn<QStringList>("Log");
}

void TWindowDriver::SetUpRefusal(bool Unsaved, const QString& Left, const QString& Right)
{
    SetPaths(ResolvePath(Left), ResolvePath(Right));
    Window->UnsavedChanges = Unsaved;
    Platform.ConfirmAnswers = {false};
}

void TWindowDriver::CompareLines(const QStringList& Left, const QStringList& Right)
{
    CompareBytes(CrLfLines(Left), CrLfLines(Right));
}

void TWindowDriver::CompareBytes(const QByteArray& Left, const QByteArray& Right)
{
    const QString L = WriteBytes(QStringLiteral("left.txt"), Left);
    const QString R = WriteBytes(QStringLiteral("right.txt"), Right);
    SetPaths(L, R);
    Trigger("miAsTextFiles1");
    Platform.Clear();
}

QString TWindowDriver::Status() const
{
    return Find<QLabel>("lblStatus")->text();
}

void TWindowDriver::SetPaths(const QString& Left, const QString& Right)
{
    Find<QComboBox>("cmbLeft")->setEditText(Left);
    Find<QComboBox>("cmbRight")->setEditText(Right);
}

void TWindowDriver::Trigger(const char* ActionName)
{
    QAction* Action = Find<QAction>(ActionName);
    if (!Action)
        qFatal("no action %s", ActionName);
    Action->trigger();
}

void TWindowDriver::Click(const char* ButtonName)
{
    QAbstractButton* Button = Find<QAbstractButton>(ButtonName);
    if (!Button)
        qFatal("no button %s", ButtonName);
    QTest::mouseClick(Button, Qt::LeftButton);
}

QStringList TWindowDriver::Row(int Row) const
{
    const TDiffGrid* Grid = Find<TDiffGrid>("grdDiff");
    return {Grid->Cells(0, Row), Grid->Cells(1, Row), Grid->Cells(2, Row)};
}

QStringList TWindowDriver::History(const char* BoxName) const
{
    const QComboBox* Box = Find<QComboBox>(BoxName);
    QStringList Items;
    for (int I = 0; I < Box->count(); ++I)
        Items.append(Box->itemText(I));
    return Items;
}

QString TWindowDriver::SettingsFile() const
{
    return QDir(AppData.path()).filePath(QStringLiteral("Quorlane/settings.dt"));
}

bool TWindowDriver::WaitForRecompute(int TimeoutMs)
{
    return QTest::qWaitFor([this] { return !Window->FDiffRecomputeInProgress; }, TimeoutMs);
}

QList<TfrmMain*> TWindowDriver::OtherWindows() const
{
    QList<TfrmMain*> Found;
    for (QWidget* Top : QApplication::topLevelWidgets())
        if (auto* Main = qobject_cast<TfrmMain*>(Top); Main && Main != Window.get())
            Found.append(Main);
    return Found;
}
