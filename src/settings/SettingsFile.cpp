#include "settings/SettingsFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

[[nodiscard]] QString SettingsFolderUnder(const QString& Base)
{
    return QDir(Base).filePath(QCoreApplication::applicationName());
}

}   // namespace

QString GetSettingsFileName()
{
    QString Folder;
    const QString AppData = qEnvironmentVariable("APPDATA");
    if (!AppData.isEmpty()) {
        Folder = SettingsFolderUnder(AppData);
        QDir().mkpath(Folder);   // a folder that cannot be made shows up when saving, which stays silent
    } else {
        const QString Config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        if (!Config.isEmpty() && QDir().mkpath(SettingsFolderUnder(Config)))
            Folder = SettingsFolderUnder(Config);
        else {
            Folder = SettingsFolderUnder(QCoreApplication::applicationDirPath());
            QDir().mkpath(Folder);
        }
    }
    return QDir(Folder).filePath(QStringLiteral("settings.dt"));
}

TSettingsFileContent ReadSettingsFile(const QString& FileName)
{
    TSettingsFileContent Content;
    const QFileInfo Info(FileName);
    if (!Info.exists() && !Info.isSymLink())
        return Content;
    Content.State = TSettingsFileState::Unreadable;
    QFile File(FileName);
    if (Info.isDir() || !File.open(QIODevice::ReadOnly))
        return Content;
    QByteArray Bytes = File.read(MaxSettingsFileBytes);
    if (File.error() != QFileDevice::NoError)
        return Content;
    Content.State = TSettingsFileState::Read;
    Content.Bytes = std::move(Bytes);
    return Content;
}

bool WriteSettingsFile(const QString& FileName, const QByteArray& Bytes)
{
    QSaveFile File(FileName);
    // Unbuffered: a write that fails (a full disk) must fail here, where it is seen, not in a
    // flush whose error the commit would not report.
    if (!File.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    if (File.write(Bytes) != Bytes.size()) {
        File.cancelWriting();
        return false;
    }
    return File.commit();
}
