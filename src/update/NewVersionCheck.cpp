#include "update/NewVersionCheck.h"

QString NewVersionMessage;
bool UpdateMandatory = false;

// Until the website check is built, there is never news.
bool CheckForNewVersion()
{
    NewVersionMessage.clear();
    UpdateMandatory = false;
    return false;
}

// Until the update dialog is built, the program always goes on.
TUpdateOutcome ShowNewVersionDialog()
{
    return UpdateMandatory ? TUpdateOutcome::EndProgram : TUpdateOutcome::Continue;
}
