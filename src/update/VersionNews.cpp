#include "update/VersionNews.h"

#include "text/TextFile.h"

#include <limits>

namespace quorlane {

namespace {

[[nodiscard]] bool IsBlank(QChar C)
{
    return C == u' ' || C == u'\t';
}

// Decimal digits with blanks around them; no sign, nothing else, and it must fit an int.
[[nodiscard]] std::optional<int> WholeNumber(QStringView Text)
{
    while (!Text.isEmpty() && IsBlank(Text.front()))
        Text = Text.sliced(1);
    while (!Text.isEmpty() && IsBlank(Text.back()))
        Text.chop(1);
    if (Text.isEmpty())
        return std::nullopt;
    qint64 Value = 0;
    for (const QChar C : Text) {
        if (C < u'0' || C > u'9')
            return std::nullopt;
        Value = Value * 10 + (C.unicode() - u'0');
        if (Value > std::numeric_limits<int>::max())
            return std::nullopt;
    }
    return static_cast<int>(Value);
}

}   // namespace

QStringList ResourceLines(const QByteArray& Body)
{
    QByteArrayView Bytes(Body);
    if (Bytes.startsWith("\xEF\xBB\xBF"))
        Bytes = Bytes.sliced(3);
    return SplitTextLines(QString::fromUtf8(Bytes));
}

std::optional<TVersionLine> ParseVersionLine(const QString& Line)
{
    const qsizetype Slash = Line.indexOf(u'/');
    if (Slash < 0)
        return std::nullopt;
    const QStringView LatestText = QStringView(Line).first(Slash);
    const std::optional<int> Latest = WholeNumber(LatestText);
    const std::optional<int> Required = WholeNumber(QStringView(Line).sliced(Slash + 1));
    if (!Latest || !Required)
        return std::nullopt;
    QString Shown = LatestText.trimmed().toString();
    Shown.insert(Shown.size() - 1, u'.');
    return TVersionLine{*Latest, *Required, Shown};
}

QStringList ChangeLines(const QByteArray& Body)
{
    QStringList Lines = ResourceLines(Body);
    for (qsizetype I = Lines.size() - 1; I >= 0; --I)
        if (Lines[I].isEmpty())
            Lines.removeAt(I);
    return Lines;
}

std::optional<TVersionNews> ComposeVersionNews(const QByteArray& VersionBody, const QByteArray& ChangesBody,
                                               int RunningVersion)
{
    const QStringList VersionLines = ResourceLines(VersionBody);
    if (VersionLines.isEmpty())
        return std::nullopt;
    const std::optional<TVersionLine> Version = ParseVersionLine(VersionLines.constFirst());
    if (!Version)
        return std::nullopt;

    TVersionNews News;
    if (Version->Required > RunningVersion) {
        News.Mandatory = true;
        News.Message = QStringLiteral("This version of the software is out of date. You must download the current "
                                      "version %1 to continue using the software.")
                           .arg(Version->Shown);
    } else if (Version->Latest > RunningVersion) {
        News.Message = QStringLiteral("The new version %1 is available").arg(Version->Shown);
    } else {
        return std::nullopt;
    }

    News.Message += QStringLiteral("\r\n\r\nWhat's new:\r\n");
    for (const QString& Change : ChangeLines(ChangesBody))
        News.Message += Change + QStringLiteral("\r\n");
    return News;
}

}   // namespace quorlane
