#include "settings/SettingsFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

QString GetSettingsFileName()
{
    QString Base = qEnvironmentVariable("APPDATA");
    if (Base.isEmpty())
        Base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString Folder = QDir(Base).filePath(QCoreApplication::applicationName());
    QDir().mkpath(Folder);   // a folder that cannot be made shows up when saving, which stays silent
    return QDir(Folder).filePath(QStringLiteral("settings.dt"));
}
