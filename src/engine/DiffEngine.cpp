#include "engine/DiffEngine.h"

#include "engine/LineAlign.h"

#include <algorithm>

namespace {

constexpr bool IsWhite(char16_t C) { return C == u'\t' || C == u' '; }
constexpr bool IsBlankChar(char16_t C) { return C <= 0x20; }

bool AnyOption(const TDiffOptions& O)
{
    return O.IgnoreCase || O.IgnoreAllWhiteSpace || O.IgnoreWsAmount || O.IgnoreLeadingWhiteSpace ||
           O.IgnoreTrailingWhiteSpace || O.IgnoreBlankLines;
}

// The simple (one-to-one) Unicode lower-case mapping, so the key keeps its length; a surrogate
// pair is lowered as one character.
void LowerInPlace(QChar* D, qsizetype N)
{
    for (qsizetype I = 0; I < N; ++I) {
        const char16_t C = D[I].unicode();
        if (C < 0x80) {
            if (C >= u'A' && C <= u'Z')
                D[I] = QChar(char16_t(C + 32));
            continue;
        }
        if (QChar::isHighSurrogate(C) && I + 1 < N && D[I + 1].isLowSurrogate()) {
            const char32_t Cp = QChar::surrogateToUcs4(C, D[I + 1].unicode());
            const char32_t Lo = QChar::toLower(Cp);
            if (Lo != Cp && QChar::requiresSurrogates(Lo)) {
                D[I] = QChar(QChar::highSurrogate(Lo));
                D[I + 1] = QChar(QChar::lowSurrogate(Lo));
            }
            ++I;
            continue;
        }
        // Qt leaves the dotted capital I alone because its full lower case has two units;
        // its simple lower case is 'i'.
        D[I] = C == 0x0130 ? QChar(u'i') : QChar(char16_t(QChar::toLower(char32_t(C))));
    }
}

// Common prefix, then the common suffix that stays clear of it on both sides.
void SetChangeRange(TDiffItem& Item, QStringView A, QStringView B)
{
    const qsizetype Shorter = std::min(A.size(), B.size());
    qsizetype P = 0;
    while (P < Shorter && A[P] == B[P])
        ++P;
    qsizetype S = 0;
    while (S < A.size() - P && S < B.size() - P && A[A.size() - 1 - S] == B[B.size() - 1 - S])
        ++S;
    Item.LeftChangeStart = std::int32_t(P);
    Item.LeftChangeLen = std::int32_t(A.size() - P - S);
    Item.RightChangeStart = std::int32_t(P);
    Item.RightChangeLen = std::int32_t(B.size() - P - S);
}

} // namespace

bool IsBlankLine(QStringView Line)
{
    return std::all_of(Line.begin(), Line.end(), [](QChar C) { return IsBlankChar(C.unicode()); });
}

QString NormalizeLine(const QString& Line, const TDiffOptions& Options)
{
    if (!AnyOption(Options))
        return Line;
    const QChar* S = Line.constData();
    qsizetype B = 0, E = Line.size();
    if (Options.IgnoreLeadingWhiteSpace)
        while (B < E && IsWhite(S[B].unicode()))
            ++B;
    if (Options.IgnoreTrailingWhiteSpace)
        while (E > B && IsWhite(S[E - 1].unicode()))
            --E;

    QString Key(E - B, Qt::Uninitialized);
    QChar* D = Key.data();
    qsizetype N = 0;
    if (Options.IgnoreAllWhiteSpace) {
        for (qsizetype I = B; I < E; ++I)
            if (!IsWhite(S[I].unicode()))
                D[N++] = S[I];
    } else if (Options.IgnoreWsAmount) {
        for (qsizetype I = B; I < E;) {
            if (IsWhite(S[I].unicode())) {
                D[N++] = QChar(u' ');
                while (I < E && IsWhite(S[I].unicode()))
                    ++I;
            } else {
                D[N++] = S[I++];
            }
        }
    } else {
        std::copy(S + B, S + E, D);
        N = E - B;
    }
    Key.truncate(N);

    if (Options.IgnoreBlankLines && IsBlankLine(Key))
        Key.clear();
    if (Options.IgnoreCase)
        LowerInPlace(Key.data(), Key.size());
    return Key;
}

void BuildLineKeys(const QStringList& Left, const QStringList& Right, const TDiffOptions& Options,
                   QStringList& LeftKeys, QStringList& RightKeys)
{
    auto Build = [&Options](const QStringList& Lines, QStringList& Keys) {
        Keys.clear();
        Keys.reserve(Lines.size());
        for (const QString& Line : Lines)
            Keys.append(NormalizeLine(Line, Options));
    };
    Build(Left, LeftKeys);
    Build(Right, RightKeys);
}

TDiffItems AssembleDiffItems(const QStringList& Left, const QStringList& Right, const std::vector<TMatch>& Matches,
                             const TDiffOptions& Options)
{
    const auto N = std::int32_t(Left.size());
    const auto M = std::int32_t(Right.size());
    // Exactly n + m - matches - (pairs of every gap) rows.
    qsizetype Rows = qsizetype(N) + M - qsizetype(Matches.size());
    std::int32_t GapI = 0, GapJ = 0;
    for (const TMatch& Match : Matches) {
        Rows -= std::min(Match.L - GapI, Match.R - GapJ);
        GapI = Match.L + 1;
        GapJ = Match.R + 1;
    }
    Rows -= std::min(N - GapI, M - GapJ);
    TDiffItems Items;
    Items.reserve(Rows);

    auto AddGap = [&](std::int32_t I, std::int32_t IEnd, std::int32_t J, std::int32_t JEnd) {
        const std::int32_t Paired = std::min(IEnd - I, JEnd - J);
        for (std::int32_t T = 0; T < Paired; ++T) {
            TDiffItem Item;
            Item.LeftIndex = I + T;
            Item.RightIndex = J + T;
            Item.Kind = dkDifferent;
            SetChangeRange(Item, Left[I + T], Right[J + T]);
            Items.append(Item);
        }
        for (std::int32_t T = I + Paired; T < IEnd; ++T) {
            TDiffItem Item;
            Item.LeftIndex = T;
            Item.Kind = dkLeftOnly;
            Items.append(Item);
        }
        for (std::int32_t T = J + Paired; T < JEnd; ++T) {
            TDiffItem Item;
            Item.RightIndex = T;
            Item.Kind = dkRightOnly;
            Items.append(Item);
        }
    };

    std::int32_t I = 0, J = 0;
    for (const TMatch& Match : Matches) {
        AddGap(I, Match.L, J, Match.R);
        TDiffItem Item;
        Item.LeftIndex = Match.L;
        Item.RightIndex = Match.R;
        Items.append(Item);
        I = Match.L + 1;
        J = Match.R + 1;
    }
    AddGap(I, N, J, M);

    if (Options.IgnoreBlankLines) {
        for (TDiffItem& Item : Items) {
            if (Item.Kind == dkEqual)
                continue;
            // A blank line paired with text is still a change: the text is what changed.
            const bool Blank = (Item.LeftIndex < 0 || IsBlankLine(Left[Item.LeftIndex])) &&
                               (Item.RightIndex < 0 || IsBlankLine(Right[Item.RightIndex]));
            if (Blank) {
                Item.Kind = dkEqual;
                Item.LeftChangeStart = -1;
                Item.LeftChangeLen = 0;
                Item.RightChangeStart = -1;
                Item.RightChangeLen = 0;
            }
        }
    }
    return Items;
}

TDiffItems ComputeDiffTuned(const QStringList& Left, const QStringList& Right, const TDiffOptions& Options,
                            const TAlignTuning& Tuning)
{
    const TLineIds Ids = BuildLineIds(Left, Right, Options, Tuning);
    const std::vector<TMatch> Matches = FindLineMatches(Ids, Tuning);
    return AssembleDiffItems(Left, Right, Matches, Options);
}

TDiffItems ComputeDiff(const QStringList& Left, const QStringList& Right, const TDiffOptions& Options)
{
    return ComputeDiffTuned(Left, Right, Options, TAlignTuning{});
}
