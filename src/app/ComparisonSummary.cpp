#include "app/ComparisonSummary.h"

#include <cmath>

namespace {

// One decimal as "%.1f" prints it from the exact binary value, except that an exact tie goes
// away from zero (as the user's calculator would); the locale supplies the separator.
[[nodiscard]] QString FormatPercent(double Percent, const QLocale& Locale)
{
    const long double Tenths = static_cast<long double>(Percent) * 10.0L;   // exact for a double
    double Shown = Percent;
    if (Tenths - std::floor(Tenths) == 0.5L)
        Shown = static_cast<double>((std::floor(Tenths) + 1.0L) / 10.0L);
    QString Text = QString::asprintf("%.1f", Shown);
    Text.replace(QLatin1Char('.'), Locale.decimalPoint());
    return Text;
}

[[nodiscard]] QString EncodingName(TTextEncoding Encoding)
{
    switch (Encoding) {
    case TTextEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case TTextEncoding::Utf16LE:
        return QStringLiteral("UTF-16 LE");
    case TTextEncoding::Utf16BE:
        return QStringLiteral("UTF-16 BE");
    case TTextEncoding::Ansi:
        break;
    }
    return QStringLiteral("ANSI");
}

[[nodiscard]] bool IsUtf16(TTextEncoding Encoding)
{
    return Encoding == TTextEncoding::Utf16LE || Encoding == TTextEncoding::Utf16BE;
}

// ASCII read as ANSI is spelled the same in UTF-8.
[[nodiscard]] bool SameBytesForSameText(const TSideState& A, const TSideState& B)
{
    const auto AsciiBesideUtf8 = [](const TSideState& X, const TSideState& Y) {
        return X.Encoding == TTextEncoding::Ansi && X.PureAscii && Y.Encoding == TTextEncoding::Utf8;
    };
    return A.Encoding == B.Encoding || AsciiBesideUtf8(A, B) || AsciiBesideUtf8(B, A);
}

[[nodiscard]] QString BreakName(const TSideState& Side, bool Loaded)
{
    if (Loaded && Side.Breaks.Mixed)
        return QStringLiteral("mixed");
    switch (Side.LineBreak) {
    case TLineBreak::CrLf:
        return QStringLiteral("CR LF");
    case TLineBreak::Cr:
        return QStringLiteral("CR");
    case TLineBreak::Lf:
        break;
    }
    return QStringLiteral("LF");
}

// The breaks between lines, and after the last one where both have one. Once a side has been
// changed it is written with one break throughout, so only that break counts.
[[nodiscard]] bool BreaksDiffer(const TSideState& L, const TSideState& R, bool Loaded)
{
    if (!Loaded)
        return L.LineBreak != R.LineBreak;
    return L.FinalBreak == R.FinalBreak ? L.Breaks.All != R.Breaks.All : L.Breaks.Inner != R.Breaks.Inner;
}

}   // namespace

QString LineCountPrefix(qsizetype LeftCount, qsizetype RightCount)
{
    return QStringLiteral("%1 lines (left file) vs %2 lines (right file).").arg(LeftCount).arg(RightCount);
}

TComparisonSummary MakeComparisonSummary(const QString& Prefix, const TDiffItems& Items, const QLocale& Locale)
{
    const qsizetype N = Items.size();
    if (N == 0)
        return {Prefix + QStringLiteral(" No comparable lines."), QString()};

    qsizetype E = 0;
    for (const TDiffItem& Item : Items)
        if (Item.Kind == dkEqual)
            ++E;
    const qsizetype D = N - E;
    const QString P = FormatPercent(double(E) * 100.0 / double(N), Locale);

    TComparisonSummary Summary;
    // The numbers go into the fixed texts before the prefix is joined: a prefix may hold a path,
    // and a "%1" in a path must stay as it is.
    Summary.StatusText = Prefix + QStringLiteral(" Equal lines: %1 of %2 (%3%). Different lines: %4.")
                                      .arg(E).arg(N).arg(P).arg(D);
    Summary.BoxText = QStringLiteral("Compared:\r\n") + Prefix + QStringLiteral("\r\n")
                    + QStringLiteral("Equal lines: %1 of %2 (%3%).").arg(E).arg(N).arg(P)
                    + QStringLiteral("\r\nDifferent lines: %1.").arg(D);
    return Summary;
}

bool ItemsHaveDifferences(const TDiffItems& Items)
{
    for (const TDiffItem& Item : Items)
        if (Item.Kind != dkEqual)
            return true;
    return false;
}

QStringList SideDifferences(const TSideState& Left, const TSideState& Right)
{
    if (Left.Source != TSideSource::TextFile || Right.Source != TSideSource::TextFile)
        return {};
    QStringList Found;
    const bool EncodingDiffers = !SameBytesForSameText(Left, Right);
    if (EncodingDiffers)
        Found << QStringLiteral("encoding (%1 / %2)").arg(EncodingName(Left.Encoding), EncodingName(Right.Encoding));
    // A UTF-16 file always carries its mark: it is part of that encoding.
    if (Left.HasBOM != Right.HasBOM && !IsUtf16(Left.Encoding) && !IsUtf16(Right.Encoding))
        Found << QStringLiteral("byte-order mark");
    const bool Loaded = !Left.Unsaved && !Right.Unsaved;
    if (BreaksDiffer(Left, Right, Loaded))
        Found << QStringLiteral("line breaks (%1 / %2)").arg(BreakName(Left, Loaded), BreakName(Right, Loaded));
    if (Left.FinalBreak != Right.FinalBreak)
        Found << QStringLiteral("final line break");
    return Found;
}

QString IdenticalFilesText(const QStringList& Differences)
{
    if (Differences.isEmpty())
        return QStringLiteral("The files are identical.");
    QString List = Differences.constLast();
    if (Differences.size() > 1)
        List = QStringList(Differences.begin(), Differences.end() - 1).join(QStringLiteral(", "))
               + QStringLiteral(" and ") + List;
    return QStringLiteral("The files are identical except for their %1.").arg(List);
}

QString BinaryFilesText(qint64 FirstDifference)
{
    if (FirstDifference < 0)
        return QStringLiteral("The files are identical.");
    // Grouped as the program's other texts are written, whatever the system's locale.
    return QStringLiteral("The files differ (binary; first difference at byte %1).")
        .arg(QLocale(QLocale::English).toString(FirstDifference + 1));
}
