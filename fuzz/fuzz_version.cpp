// The version file and change list read from the website, on any bytes.
//
// Input: one byte for the running version, one byte for the length of the version file's body,
// that body, then the change list's body.

#include "FuzzInput.h"

#include "update/VersionNews.h"

using namespace quorlane;
using namespace quorlane::fuzz;

namespace {

bool HasBreak(const QString& Line) { return Line.contains(u'\r') || Line.contains(u'\n'); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    TFuzzBytes In(Data, Size);
    const int Running = In.Byte();
    const int VersionLength = In.Byte();
    const QByteArray Rest = In.Rest();
    const QByteArray VersionBody = Rest.left(VersionLength);
    const QByteArray ChangesBody = Rest.mid(VersionLength);
    const QString Shown = QStringLiteral("version %1\nchanges %2\nrunning %3")
                              .arg(QString::fromLatin1(VersionBody.toHex(' ')),
                                   QString::fromLatin1(ChangesBody.left(256).toHex(' ')))
                              .arg(Running);

    const QStringList Lines = ResourceLines(VersionBody);
    for (const QString& Line : Lines)
        FUZZ_CHECK(!HasBreak(Line), Shown);
    const std::optional<TVersionLine> Parsed =
        Lines.isEmpty() ? std::nullopt : ParseVersionLine(Lines.first());
    if (Parsed) {
        FUZZ_CHECK(Parsed->Latest >= 0 && Parsed->Required >= 0, Shown);
        FUZZ_CHECK(Parsed->Shown.contains(u'.'), Shown + QStringLiteral("\nshown ") + Parsed->Shown);
    }

    const QStringList Changes = ChangeLines(ChangesBody);
    for (const QString& Line : Changes)
        FUZZ_CHECK(!Line.isEmpty() && !HasBreak(Line), Shown);

    // News exactly when the website's latest or required version is beyond the running one;
    // mandatory exactly when the required one is.
    const std::optional<TVersionNews> News = ComposeVersionNews(VersionBody, ChangesBody, Running);
    const bool Newer = Parsed && (Parsed->Latest > Running || Parsed->Required > Running);
    FUZZ_CHECK(News.has_value() == Newer, Shown);
    if (News) {
        FUZZ_CHECK(News->Mandatory == (Parsed->Required > Running), Shown);
        for (const QString& Line : Changes)
            FUZZ_CHECK(News->Message.contains(Line), Shown + QStringLiteral("\nmessage ") + News->Message);
    }
    return 0;
}
