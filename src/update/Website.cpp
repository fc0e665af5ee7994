#include "update/Website.h"

#ifndef QUORLANE_WEBSITE_HOST
#define QUORLANE_WEBSITE_HOST "quorlane.example"
#endif

namespace quorlane {

QString WebsiteHost()
{
    return QStringLiteral(QUORLANE_WEBSITE_HOST);
}

QUrl WebsiteHomeUrl()
{
    return QUrl(QStringLiteral("https://") + WebsiteHost() + QLatin1Char('/'));
}

bool UpdateCheckBuiltIn()
{
#ifdef QUORLANE_NO_UPDATE_CHECK
    return false;
#else
    return true;
#endif
}

QUrl WebsiteResource(const QUrl& Base, const char* Path)
{
    QUrl Url = Base;
    Url.setPath(QLatin1String(Path));
    Url.setQuery(QString());
    Url.setFragment(QString());
    return Url;
}

}   // namespace quorlane
