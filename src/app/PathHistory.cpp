#include "app/PathHistory.h"

namespace {

[[nodiscard]] qsizetype IndexOfIgnoringCase(const QStringList& History, const QString& Path)
{
    for (qsizetype I = 0; I < History.size(); ++I)
        if (History[I].compare(Path, Qt::CaseInsensitive) == 0)
            return I;
    return -1;
}

void CutToLimit(QStringList& History)
{
    while (History.size() > MaxHistoryEntries)
        History.removeLast();
}

}   // namespace

QString TrimPath(const QString& Path)
{
    qsizetype First = 0;
    qsizetype Last = Path.size();
    while (First < Last && Path[First].unicode() <= 32)
        ++First;
    while (Last > First && Path[Last - 1].unicode() <= 32)
        --Last;
    return Path.mid(First, Last - First);
}

void ApplyKeepingRule(QStringList& History, const QString& Path)
{
    if (IndexOfIgnoringCase(History, Path) < 0)
        History.prepend(Path);
    CutToLimit(History);
}

void ApplyMovingRule(QStringList& History, const QString& Path)
{
    const qsizetype Found = IndexOfIgnoringCase(History, Path);
    if (Found >= 0)
        History.removeAt(Found);
    History.prepend(Path);
    CutToLimit(History);
}

void MergeHistory(QStringList& History, const QStringList& Other)
{
    for (const QString& Path : Other)
        if (History.size() < MaxHistoryEntries && IndexOfIgnoringCase(History, Path) < 0)
            History.append(Path);
    CutToLimit(History);
}
