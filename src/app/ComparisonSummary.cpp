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
