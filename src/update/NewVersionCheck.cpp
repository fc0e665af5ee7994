#include "update/NewVersionCheck.h"

#include "update/VersionNews.h"
#include "update/Website.h"

#include <QDeadlineTimer>

#include <exception>

QString NewVersionMessage;
bool UpdateMandatory = false;
bool DownloadCancelled = false;

using namespace quorlane;

bool CheckForNewVersion()
{
    if (!UpdateCheckBuiltIn()) {
        NewVersionMessage.clear();
        UpdateMandatory = false;
        return false;
    }
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
        // One deadline for the whole check, so nothing the network does can hold the window back.
        const QDeadlineTimer Deadline(Source.CheckDeadlineMs);
        const TCheckAnswer Version = FetchForCheck(Source, VersionFilePath, Deadline);
        if (!Version.Body || ResourceLines(*Version.Body).isEmpty())
            return false;
        const TCheckAnswer Changes = FetchForCheck(Source, ChangeListPath, Deadline);
        if (!Changes.Body)
            return false;
        const std::optional<TVersionNews> News = ComposeVersionNews(*Version.Body, *Changes.Body);
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
