#include "update/NewVersionCheck.h"

#include "update/VersionNews.h"
#include "update/Website.h"

#include <QNetworkAccessManager>

#include <exception>

QString NewVersionMessage;
bool UpdateMandatory = false;
bool DownloadCancelled = false;

using namespace quorlane;

bool CheckForNewVersion()
{
    if (!UpdateCheckBuiltIn())
        return false;
    return CheckForNewVersion(DefaultUpdateSource());
}

TUpdateOutcome RunStartUpVersionCheck()
{
    if (!CheckForNewVersion())
        return TUpdateOutcome::Continue;
    return ShowNewVersionDialog();
}

TUpdateOutcome RunStartUpVersionCheck(TPlatform& Platform, const TUpdateSource& Source)
{
    if (!CheckForNewVersion(Source))
        return TUpdateOutcome::Continue;
    return ShowNewVersionDialog(Platform, Source);
}

bool CheckForNewVersion(const TUpdateSource& Source)
{
    NewVersionMessage.clear();
    UpdateMandatory = false;
    try {
        std::optional<TVersionNews> News;
        {
            // One client for both requests; its connection closes when it goes.
            QNetworkAccessManager Net;
            const std::optional<QByteArray> Version = FetchWebsiteResource(Net, Source, VersionFilePath);
            if (!Version || ResourceLines(*Version).isEmpty())
                return false;
            const std::optional<QByteArray> Changes = FetchWebsiteResource(Net, Source, ChangeListPath);
            if (!Changes)
                return false;
            News = ComposeVersionNews(*Version, *Changes);
        }
        if (!News)
            return false;
        NewVersionMessage = News->Message;
        UpdateMandatory = News->Mandatory;
        return true;
    } catch (const std::exception&) {
        // The check never stands in the way of starting: whatever went wrong, there is no news.
        return false;
    }
}
