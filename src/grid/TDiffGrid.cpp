#include "grid/TDiffGrid.h"

#include "grid/GdiText.h"

#include <QHash>
#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPolygon>
#include <QScrollBar>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

constexpr int kDefaultColWidth = 64;
constexpr int kDefaultRowHeight = 24;
constexpr int kSizingZone = 4;  // a border grabs from this many pixels left of (above) its line

enum class TSizing { None, Column, Row };

[[nodiscard]] QColor Blend(const QColor& A, const QColor& B, int PercentOfB)
{
    const auto Mix = [PercentOfB](int X, int Y) { return (X * (100 - PercentOfB) + Y * PercentOfB) / 100; };
    return QColor(Mix(A.red(), B.red()), Mix(A.green(), B.green()), Mix(A.blue(), B.blue()));
}

}  // namespace

// A column that shows lines of a list by index instead of holding its own copies of them.
struct TLineColumn {
    bool Active = false;
    QStringList Lines;
    QVector<std::int32_t> Index;       // per row; an index outside Lines shows an empty cell
    QHash<int, QString> Overrides;     // cells set one by one since
};

struct TDiffGrid::TImpl {
    // A column's texts while its line source is inactive; empty while it is active.
    QVector<QVector<QString>> Texts = QVector<QVector<QString>>(3, QVector<QString>(2));
    QVector<TLineColumn> Sources = QVector<TLineColumn>(3);
    QVector<int> ColWidths = QVector<int>(3, kDefaultColWidth);
    QVector<int> Heights = QVector<int>(2, kDefaultRowHeight);
    // Prefix[r] = sum of Heights[0 .. r-1]; valid below DirtyFrom, rebuilt on demand.
    mutable std::vector<std::int64_t> Prefix = std::vector<std::int64_t>(3, 0);
    mutable int DirtyFrom = 0;
    int DefaultHeight = kDefaultRowHeight;
    int Row = 1;
    int Col = 1;
    int Top = 1;
    // Scroll units into row Top, each Step pixels (the last one may be shorter); only a row
    // taller than the body of the view has any.
    int InnerUnits = 0;
    int Step = kDefaultRowHeight;
    int ViewHeight = 0;             // the viewport's height when the scroll range was laid out
    unsigned Options = goHorzLine;
    bool RelayoutPending = false;
    bool SyncingBar = false;        // the grid itself is moving the scroll bar

    // The rows taller than the body of the view, ascending, with the scroll units they add
    // beyond their first (a row of its own in the scroll bar's range).
    struct TTallRow {
        int Row = 0;
        int Units = 0;
        std::int64_t UnitsBefore = 0;   // extra units of the tall rows above it
    };
    std::vector<TTallRow> Tall;
    std::int64_t TallUnits = 0;

    TSizing Sizing = TSizing::None;
    int SizingIndex = -1;
    int SizingOrigin = 0;
    int SizingStartSize = 0;
    bool SelectingByDrag = false;

    [[nodiscard]] int RowCount() const { return int(Heights.size()); }
    [[nodiscard]] int ColCount() const { return int(ColWidths.size()); }
    [[nodiscard]] int BodyLine() const { return (Options & goHorzLine) ? 1 : 0; }
    [[nodiscard]] int BodyTop() const { return Heights[0] + 1; }

    void MarkDirty(int From) const { DirtyFrom = std::min(DirtyFrom, From); }

    [[nodiscard]] const QString& Text(int C, int R) const
    {
        const TLineColumn& Source = Sources[C];
        if (!Source.Active)
            return Texts[C][R];
        if (!Source.Overrides.isEmpty()) {
            const auto Found = Source.Overrides.constFind(R);
            if (Found != Source.Overrides.cend())
                return *Found;
        }
        static const QString None;
        const std::int32_t I = Source.Index[R];
        return I >= 0 && I < Source.Lines.size() ? Source.Lines[I] : None;
    }

    // Turns a line column into texts of its own, the same texts.
    void Materialize(int C)
    {
        if (!Sources[C].Active)
            return;
        QVector<QString> Column(RowCount());
        for (int R = 0; R < RowCount(); ++R)
            Column[R] = Text(C, R);
        Texts[C] = std::move(Column);
        Sources[C] = TLineColumn();
    }

    void EnsurePrefix() const
    {
        const int N = RowCount();
        if (DirtyFrom > N)
            return;
        Prefix.resize(std::size_t(N) + 1);
        int From = std::max(0, DirtyFrom);
        if (From == 0)
            Prefix[0] = 0;
        for (int I = std::max(From, 1); I <= N; ++I)
            Prefix[std::size_t(I)] = Prefix[std::size_t(I) - 1] + Heights[I - 1];
        DirtyFrom = N + 1;
    }

    // Distance of body row R's top from the top of body row 1 (lines included).
    [[nodiscard]] std::int64_t Offset(int R) const { return Prefix[std::size_t(R)] - Prefix[1] + std::int64_t(R - 1) * BodyLine(); }
    [[nodiscard]] std::int64_t OffsetEnd(int R) const { return Offset(R) + Heights[R]; }

    [[nodiscard]] int ColLeft(int C) const
    {
        int X = 0;
        for (int I = 0; I < C; ++I)
            X += ColWidths[I] + 1;
        return X;
    }

    // Largest body row whose top offset is <= Target (1 when none).
    [[nodiscard]] int LastRowStartingBy(std::int64_t Target) const
    {
        int Lo = 1, Hi = RowCount() - 1;
        while (Lo < Hi) {
            const int Mid = Lo + (Hi - Lo + 1) / 2;
            if (Offset(Mid) <= Target)
                Lo = Mid;
            else
                Hi = Mid - 1;
        }
        return Lo;
    }

    // ---- scrolling inside rows taller than the view ----

    // Body pixels of the view (at least 1, so a row is never "taller" than nothing).
    [[nodiscard]] int Room() const { return std::max(1, ViewHeight - BodyTop()); }
    // Pixels of row R that do not fit in the view: how far the view may scroll into it.
    [[nodiscard]] int Extra(int R) const { return std::max(0, Heights[R] - Room()); }
    [[nodiscard]] int UnitsFor(int ExtraPixels) const { return (ExtraPixels + Step - 1) / Step; }
    [[nodiscard]] int InnerPixels(int R, int Units) const { return std::min(Units * Step, Extra(R)); }
    // Distance of the view's top from the top of body row 1.
    [[nodiscard]] std::int64_t Pos() const { return Offset(Top) + InnerPixels(Top, InnerUnits); }

    void RebuildTall()
    {
        Tall.clear();
        TallUnits = 0;
        const int Limit = Room();
        const int* H = Heights.constData();
        for (int R = 1, N = RowCount(); R < N; ++R) {
            if (H[R] <= Limit)
                continue;
            const int Units = UnitsFor(H[R] - Limit);
            Tall.push_back({R, Units, TallUnits});
            TallUnits += Units;
        }
    }

    [[nodiscard]] const TTallRow* TallRow(int R) const
    {
        const auto It = std::lower_bound(Tall.begin(), Tall.end(), R, [](const TTallRow& T, int Row) { return T.Row < Row; });
        return It != Tall.end() && It->Row == R ? &*It : nullptr;
    }

    // The scroll bar's value for row R's top plus Units into it.
    [[nodiscard]] std::int64_t ValueOf(int R, int Units) const
    {
        const auto It = std::lower_bound(Tall.begin(), Tall.end(), R, [](const TTallRow& T, int Row) { return T.Row < Row; });
        return std::int64_t(R - 1) + (It == Tall.end() ? TallUnits : It->UnitsBefore) + Units;
    }

    void PositionOf(std::int64_t Value, int& R, int& Units) const
    {
        // The last tall row whose top value is at most Value.
        const auto It = std::upper_bound(Tall.begin(), Tall.end(), Value, [](std::int64_t V, const TTallRow& T) {
            return V < std::int64_t(T.Row - 1) + T.UnitsBefore;
        });
        Units = 0;
        if (It == Tall.begin()) {
            R = int(Value + 1);
            return;
        }
        const TTallRow& T = *std::prev(It);
        const std::int64_t TopValue = std::int64_t(T.Row - 1) + T.UnitsBefore;
        if (Value <= TopValue + T.Units) {
            R = T.Row;
            Units = int(Value - TopValue);
        } else {
            R = int(Value - T.UnitsBefore - T.Units + 1);
        }
    }

    // The first position whose top is at or below pixel Target (Target inside the body).
    void FirstPositionFrom(std::int64_t Target, int& R, int& Units) const
    {
        R = LastRowStartingBy(Target);
        Units = 0;
        const std::int64_t Into = Target - Offset(R);
        if (Into <= 0)
            return;
        if (Into <= Extra(R)) {
            Units = int((Into + Step - 1) / Step);
            return;
        }
        R = std::min(R + 1, RowCount() - 1);
    }

    // The last position whose top is at or above pixel Target.
    void LastPositionUpTo(std::int64_t Target, int& R, int& Units) const
    {
        R = LastRowStartingBy(std::max<std::int64_t>(0, Target));
        Units = 0;
        if (Extra(R) > 0)
            Units = int(std::min<std::int64_t>(UnitsFor(Extra(R)), std::max<std::int64_t>(0, Target - Offset(R)) / Step));
    }

    // A move of the scroll bar from value From towards To stops at the first top or end of a
    // tall row on its way, so no step or page jumps over a part of such a row.
    [[nodiscard]] std::int64_t FirstStopBetween(std::int64_t From, std::int64_t To) const
    {
        const auto TopValue = [](const TTallRow& T) { return std::int64_t(T.Row - 1) + T.UnitsBefore; };
        if (To > From) {
            const auto It = std::upper_bound(Tall.begin(), Tall.end(), From, [&](std::int64_t V, const TTallRow& T) {
                return V < TopValue(T) + T.Units;
            });
            if (It == Tall.end())
                return To;
            const std::int64_t Stop = TopValue(*It) > From ? TopValue(*It) : TopValue(*It) + It->Units;
            return std::min(Stop, To);
        }
        const auto It = std::lower_bound(Tall.begin(), Tall.end(), From, [&](const TTallRow& T, std::int64_t V) {
            return TopValue(T) < V;
        });
        if (It == Tall.begin())
            return To;
        const TTallRow& T = *std::prev(It);
        const std::int64_t Stop = TopValue(T) + T.Units < From ? TopValue(T) + T.Units : TopValue(T);
        return std::max(Stop, To);
    }

    [[nodiscard]] int RowTopInView(int R) const { return BodyTop() + int(Offset(R) - Pos()); }

    [[nodiscard]] int MaxTop(int ViewHeight) const
    {
        const int N = RowCount();
        if (N <= 2)
            return 1;
        const std::int64_t Room = ViewHeight - BodyTop();
        const std::int64_t Need = OffsetEnd(N - 1) - Room;  // smallest top offset that still shows the last row
        int Lo = 1, Hi = N - 1;
        while (Lo < Hi) {
            const int Mid = Lo + (Hi - Lo) / 2;
            if (Offset(Mid) >= Need)
                Hi = Mid;
            else
                Lo = Mid + 1;
        }
        return Lo;
    }

    [[nodiscard]] int VisibleRows(int ViewHeight) const
    {
        const int N = RowCount();
        if (N <= 1)
            return 0;
        const std::int64_t Limit = Pos() + (ViewHeight - BodyTop());
        if (OffsetEnd(Top) > Limit)
            return 0;
        int Lo = Top, Hi = N - 1;  // last row that ends within the view
        while (Lo < Hi) {
            const int Mid = Lo + (Hi - Lo + 1) / 2;
            if (OffsetEnd(Mid) <= Limit)
                Lo = Mid;
            else
                Hi = Mid - 1;
        }
        return Lo - Top + 1;
    }
};

TDiffGrid::TDiffGrid(QWidget* Parent) : QAbstractScrollArea(Parent), d(new TImpl)
{
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    viewport()->setMouseTracking(true);
    verticalScrollBar()->setSingleStep(1);
    d->Step = std::max(1, TTextMeasure(font(), this).LineHeight());
    // The slider has moved but its value not yet: a step, a page, a wheel turn or a drag that
    // would jump over the top or the end of a tall row stops there first.
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, [this](int Action) {
        QScrollBar* Bar = verticalScrollBar();
        if (Action == QAbstractSlider::SliderNoAction || d->SyncingBar || Bar->sliderPosition() == Bar->value())
            return;
        const std::int64_t Value = Bar->value();
        std::int64_t Target = Bar->sliderPosition();
        // A page from the end of a tall row goes on with the rows after it; one from its top
        // shows the rows before it, the last of them at the bottom.
        if (const TImpl::TTallRow* Tall = d->RowCount() > 1 ? d->TallRow(d->Top) : nullptr) {
            if (Action == QAbstractSlider::SliderPageStepAdd && d->InnerUnits >= Tall->Units) {
                Target = Value + 1;
            } else if (Action == QAbstractSlider::SliderPageStepSub && d->InnerUnits == 0 && d->Top > 1) {
                int R = 1, Units = 0;
                d->FirstPositionFrom(std::max<std::int64_t>(0, d->Offset(d->Top) - d->Room()), R, Units);
                Target = std::min(Value - 1, d->ValueOf(R, Units));
            }
        }
        Bar->setSliderPosition(int(d->FirstStopBetween(Value, Target)));
    });
    UpdateScrollBar();
}

TDiffGrid::~TDiffGrid()
{
    delete d;
}

// ---- contents -------------------------------------------------------------------------------

QString TDiffGrid::Cells(int ACol, int ARow) const
{
    if (ACol < 0 || ACol >= d->ColCount() || ARow < 0 || ARow >= d->RowCount())
        return {};
    return d->Text(ACol, ARow);
}

const QString& TDiffGrid::CellText(int ACol, int ARow) const
{
    return d->Text(ACol, ARow);
}

bool TDiffGrid::ColumnLines(int ACol, const QStringList*& Lines, const std::int32_t*& Index) const
{
    if (ACol < 0 || ACol >= d->ColCount())
        return false;
    const TLineColumn& Source = d->Sources[ACol];
    if (!Source.Active || !Source.Overrides.isEmpty())
        return false;
    Lines = &Source.Lines;
    Index = Source.Index.constData();
    return true;
}

const QVector<QString>& TDiffGrid::ColumnTexts(int ACol) const
{
    static const QVector<QString> None;
    if (ACol < 0 || ACol >= d->ColCount())
        return None;
    d->Materialize(ACol);
    return d->Texts[ACol];
}

void TDiffGrid::SetCells(int ACol, int ARow, const QString& Text)
{
    if (ACol < 0 || ACol >= d->ColCount() || ARow < 0 || ARow >= d->RowCount())
        return;
    if (d->Sources[ACol].Active)
        d->Sources[ACol].Overrides.insert(ARow, Text);
    else
        d->Texts[ACol][ARow] = Text;
    // While row heights are pending (a fill loop), locating the cell would rebuild the prefix
    // sum on every call; one repaint of the view serves the loop as well.
    if (d->DirtyFrom <= d->RowCount()) {
        viewport()->update();
        return;
    }
    const QRect Rect = CellRect(ACol, ARow);
    if (!Rect.isNull())
        viewport()->update(Rect);
}

void TDiffGrid::SetColumnTexts(int ACol, QVector<QString> Texts)
{
    if (ACol < 0 || ACol >= d->ColCount())
        return;
    Texts.resize(d->RowCount());
    d->Sources[ACol] = TLineColumn();
    d->Texts[ACol] = std::move(Texts);
    viewport()->update();
}

void TDiffGrid::SetColumnLines(int ACol, const QStringList& Lines, QVector<std::int32_t> Index)
{
    if (ACol < 0 || ACol >= d->ColCount())
        return;
    Index.resize(d->RowCount(), -1);
    TLineColumn& Source = d->Sources[ACol];
    Source.Active = true;
    Source.Lines = Lines;
    Source.Index = std::move(Index);
    Source.Overrides.clear();
    d->Texts[ACol] = QVector<QString>();
    viewport()->update();
}

QString* TDiffGrid::EditColumnTexts(int ACol)
{
    if (ACol < 0 || ACol >= d->ColCount())
        return nullptr;
    d->Materialize(ACol);
    return d->Texts[ACol].data();
}

int TDiffGrid::RowCount() const
{
    return d->RowCount();
}

void TDiffGrid::SetRowCount(int Count)
{
    Count = std::max(1, Count);
    const int Old = d->RowCount();
    if (Count == Old)
        return;
    for (int C = 0; C < d->ColCount(); ++C) {
        TLineColumn& Source = d->Sources[C];
        if (!Source.Active) {
            d->Texts[C].resize(Count);
            continue;
        }
        Source.Index.resize(Count, -1);
        for (auto It = Source.Overrides.begin(); It != Source.Overrides.end();)
            It = It.key() >= Count ? Source.Overrides.erase(It) : std::next(It);
    }
    d->Heights.resize(Count);
    if (Count > Old)
        std::fill(d->Heights.begin() + Old, d->Heights.end(), d->DefaultHeight);
    d->MarkDirty(std::min(Old, Count));
    d->Row = std::clamp(d->Row, 1, std::max(1, Count - 1));
    d->Top = std::clamp(d->Top, 1, std::max(1, Count - 1));
    UpdateScrollBar();
    viewport()->update();
}

int TDiffGrid::ColCount() const
{
    return d->ColCount();
}

void TDiffGrid::SetColCount(int Count)
{
    Count = std::max(2, Count);
    if (Count == d->ColCount())
        return;
    const int Old = d->ColCount();
    d->Texts.resize(Count);
    d->Sources.resize(Count);
    for (int C = Old; C < Count; ++C)
        d->Texts[C].resize(d->RowCount());
    d->ColWidths.resize(Count);
    for (int C = Old; C < Count; ++C)
        d->ColWidths[C] = kDefaultColWidth;
    d->Col = std::clamp(d->Col, 1, Count - 1);
    viewport()->update();
}

// ---- selection ------------------------------------------------------------------------------

int TDiffGrid::Row() const
{
    return d->Row;
}

int TDiffGrid::Col() const
{
    return d->Col;
}

void TDiffGrid::SetRow(int ARow)
{
    if (ARow < 1 || ARow >= d->RowCount())
        return;
    MoveSelection(ARow);
}

void TDiffGrid::SetCol(int ACol)
{
    if (ACol < 0 || ACol >= d->ColCount())
        return;
    bool CanSelect = true;
    if (OnSelectCell)
        OnSelectCell(ACol, d->Row, CanSelect);
    if (CanSelect)
        d->Col = ACol;
}

// Every selection change asks OnSelectCell first, as a click or a key does.
void TDiffGrid::MoveSelection(int ARow)
{
    bool CanSelect = true;
    if (OnSelectCell)
        OnSelectCell(d->Col, ARow, CanSelect);
    if (!CanSelect || ARow < 1 || ARow >= d->RowCount())
        return;
    const int Old = d->Row;
    d->Row = ARow;
    if (Old != ARow) {
        InvalidateRow(Old);
        InvalidateRow(ARow);
    }
    EnsureRowVisible(ARow);
}

void TDiffGrid::EnsureRowVisible(int ARow)
{
    if (d->RelayoutPending)
        UpdateScrollBar();
    d->EnsurePrefix();
    if (ARow < 1 || ARow >= d->RowCount())
        return;
    const std::int64_t Pos = d->Pos();
    const std::int64_t Room = d->Room();
    if (d->Heights[ARow] > Room) {
        // Taller than the view: wherever the view stands inside it already shows what it can.
        if (d->Offset(ARow) <= Pos && Pos < d->OffsetEnd(ARow))
            return;
        SetScrollPosition(ARow, 0);
        return;
    }
    if (d->Offset(ARow) < Pos) {
        SetScrollPosition(ARow, 0);
        return;
    }
    if (d->OffsetEnd(ARow) - Pos <= Room)
        return;
    // The first position that shows ARow wholly.
    int R = ARow, Units = 0;
    d->FirstPositionFrom(d->OffsetEnd(ARow) - Room, R, Units);
    SetScrollPosition(R, Units);
}

void TDiffGrid::EnsureTextVisible(int ARow, int ACol, int CharStart, int CharLen)
{
    if (d->RelayoutPending)
        UpdateScrollBar();
    d->EnsurePrefix();
    if (ARow < 1 || ARow >= d->RowCount())
        return;
    const int Room = d->Room();
    if (d->Heights[ARow] <= Room || CharLen <= 0 || !OnTextRect) {
        EnsureRowVisible(ARow);
        return;
    }
    const QRect Text = OnTextRect(ACol, ARow, CharStart, CharLen);
    if (!Text.isValid()) {
        EnsureRowVisible(ARow);
        return;
    }
    const std::int64_t Top = d->Offset(ARow) + Text.top();
    const std::int64_t Bottom = Top + Text.height();
    const std::int64_t Pos = d->Pos();
    if (Top >= Pos && Bottom <= Pos + Room)
        return;
    // A third down the view, so the lines before it show what it belongs to.
    const std::int64_t Want = std::clamp(Top - Room / 3, d->Offset(ARow), d->Offset(ARow) + d->Extra(ARow));
    int R = ARow, Units = 0;
    d->LastPositionUpTo(Want, R, Units);
    // Positions inside the row lie a line apart: rounding down may leave its end out.
    if (Bottom > d->Offset(R) + d->InnerPixels(R, Units) + Room)
        d->FirstPositionFrom(Bottom - Room, R, Units);
    SetScrollPosition(R, Units);
}

// Down or up (Direction +1 / -1) a line or a page inside the current row, while it is taller
// than the view and that way still holds some of it off screen. False when it does not.
bool TDiffGrid::ScrollThroughCurrentRow(int Direction, bool ByPage)
{
    if (d->RelayoutPending)
        UpdateScrollBar();
    d->EnsurePrefix();
    const int ARow = d->Row;
    const int Room = d->Room();
    if (ARow < 1 || ARow >= d->RowCount() || d->Heights[ARow] <= Room)
        return false;
    const std::int64_t Pos = d->Pos();
    if (d->OffsetEnd(ARow) <= Pos || d->Offset(ARow) >= Pos + Room)
        return false;   // not on screen: the keys go back to moving the selection
    const std::int64_t Move = ByPage ? std::max(d->Step, Room - d->Step) : d->Step;
    const std::int64_t Before = d->ValueOf(d->Top, d->InnerUnits);
    int R = 0, Units = 0;
    if (Direction > 0) {
        if (d->OffsetEnd(ARow) <= Pos + Room)
            return false;
        d->FirstPositionFrom(std::min(Pos + Move, d->Offset(ARow) + d->Extra(ARow)), R, Units);
        if (d->ValueOf(R, Units) <= Before)
            d->PositionOf(Before + 1, R, Units);
    } else {
        if (d->Offset(ARow) >= Pos)
            return false;
        d->LastPositionUpTo(std::max(Pos - Move, d->Offset(ARow)), R, Units);
        if (d->ValueOf(R, Units) >= Before)
            d->PositionOf(Before - 1, R, Units);
    }
    SetScrollPosition(R, Units);
    return true;
}

// ---- scrolling ------------------------------------------------------------------------------

int TDiffGrid::TopRow() const
{
    return d->Top;
}

void TDiffGrid::SetTopRow(int ARow)
{
    if (d->RelayoutPending)
        UpdateScrollBar();
    d->EnsurePrefix();
    SetScrollPosition(std::clamp(ARow, 1, d->MaxTop(viewport()->height())), 0);
}

int TDiffGrid::TopRowOffset() const
{
    d->EnsurePrefix();
    return d->RowCount() > 1 ? d->InnerPixels(d->Top, d->InnerUnits) : 0;
}

// Moves the view to row ARow's top plus InnerUnits scroll units into it (within the scroll
// range), repaints and notifies when that changes anything.
void TDiffGrid::SetScrollPosition(int ARow, int InnerUnits)
{
    d->EnsurePrefix();
    const std::int64_t Max = verticalScrollBar()->maximum();
    std::int64_t Value = std::clamp<std::int64_t>(d->ValueOf(std::clamp(ARow, 1, std::max(1, d->RowCount() - 1)), std::max(0, InnerUnits)), 0, Max);
    int Top = 1, Units = 0;
    d->PositionOf(Value, Top, Units);
    Top = std::clamp(Top, 1, std::max(1, d->RowCount() - 1));
    d->SyncingBar = true;
    verticalScrollBar()->setValue(int(Value));
    d->SyncingBar = false;
    if (Top == d->Top && Units == d->InnerUnits)
        return;
    d->Top = Top;
    d->InnerUnits = Units;
    verticalScrollBar()->setPageStep(PageUnits());
    viewport()->update();
    if (OnTopLeftChanged)
        OnTopLeftChanged();
}

// A page of the scroll bar: the rows wholly shown, or inside a tall row its height less a line.
int TDiffGrid::PageUnits() const
{
    if (d->RowCount() > 1 && d->Extra(d->Top) > 0)
        return std::max(1, (d->Room() - d->Step) / d->Step);
    return std::max(1, d->VisibleRows(viewport()->height()));
}

int TDiffGrid::VisibleRowCount() const
{
    d->EnsurePrefix();
    return d->VisibleRows(viewport()->height());
}

void TDiffGrid::UpdateScrollBar()
{
    d->RelayoutPending = false;
    d->EnsurePrefix();
    d->ViewHeight = viewport()->height();
    d->RebuildTall();
    const int MaxTop = d->MaxTop(d->ViewHeight);
    const TImpl::TTallRow* Last = d->TallRow(MaxTop);
    const std::int64_t MaxValue = d->ValueOf(MaxTop, Last ? Last->Units : 0);
    // Heights or the view changed: the position keeps its row and as much of its offset as
    // the row still has to scroll.
    int Top = std::clamp(d->Top, 1, std::max(1, d->RowCount() - 1));
    const TImpl::TTallRow* Tall = d->RowCount() > 1 ? d->TallRow(Top) : nullptr;
    int Units = Tall ? std::min(d->InnerUnits, Tall->Units) : 0;
    std::int64_t Value = d->ValueOf(Top, Units);
    if (Value > MaxValue) {
        Value = MaxValue;
        d->PositionOf(Value, Top, Units);
    }
    QScrollBar* Bar = verticalScrollBar();
    d->SyncingBar = true;
    Bar->setRange(0, int(MaxValue));
    Bar->setValue(int(Value));
    d->SyncingBar = false;
    if (Top != d->Top || Units != d->InnerUnits) {
        d->Top = Top;
        d->InnerUnits = Units;
        viewport()->update();
    }
    Bar->setPageStep(PageUnits());
}

// Single row-height changes may come in loops: the prefix sum and the scroll range are then
// brought up to date once, when the event loop comes back.
void TDiffGrid::ScheduleRelayout()
{
    if (d->RelayoutPending)
        return;
    d->RelayoutPending = true;
    QMetaObject::invokeMethod(this, [this] {
        if (d->RelayoutPending)
            UpdateScrollBar();
    }, Qt::QueuedConnection);
}

void TDiffGrid::scrollContentsBy(int, int)
{
    if (d->SyncingBar)
        return;
    d->EnsurePrefix();
    int Top = 1, Units = 0;
    d->PositionOf(verticalScrollBar()->value(), Top, Units);
    Top = std::clamp(Top, 1, std::max(1, d->RowCount() - 1));
    if (Top == d->Top && Units == d->InnerUnits)
        return;
    d->Top = Top;
    d->InnerUnits = Units;
    verticalScrollBar()->setPageStep(PageUnits());
    viewport()->update();
    if (OnTopLeftChanged)
        OnTopLeftChanged();
}

// ---- geometry -------------------------------------------------------------------------------

int TDiffGrid::ColWidths(int ACol) const
{
    return (ACol >= 0 && ACol < d->ColCount()) ? d->ColWidths[ACol] : 0;
}

void TDiffGrid::SetColWidths(int ACol, int Width)
{
    if (ACol < 0 || ACol >= d->ColCount())
        return;
    Width = std::max(0, Width);
    if (d->ColWidths[ACol] == Width)
        return;
    d->ColWidths[ACol] = Width;
    viewport()->update();
}

int TDiffGrid::RowHeights(int ARow) const
{
    return (ARow >= 0 && ARow < d->RowCount()) ? d->Heights[ARow] : 0;
}

void TDiffGrid::SetRowHeights(int ARow, int Height)
{
    if (ARow < 0 || ARow >= d->RowCount())
        return;
    Height = std::max(0, Height);
    if (d->Heights[ARow] == Height)
        return;
    d->Heights[ARow] = Height;
    d->MarkDirty(ARow);
    ScheduleRelayout();
    viewport()->update();
}

void TDiffGrid::SetAllRowHeights(const QVector<int>& Heights)
{
    const int N = std::min(int(Heights.size()), d->RowCount());
    for (int R = 0; R < N; ++R)
        d->Heights[R] = std::max(0, Heights[R]);
    d->MarkDirty(0);
    UpdateScrollBar();
    viewport()->update();
}

int TDiffGrid::DefaultRowHeight() const
{
    return d->DefaultHeight;
}

// As a string grid does: a new default height applies to every row.
void TDiffGrid::SetDefaultRowHeight(int Height)
{
    d->DefaultHeight = std::max(0, Height);
    std::fill(d->Heights.begin(), d->Heights.end(), d->DefaultHeight);
    d->MarkDirty(0);
    UpdateScrollBar();
    viewport()->update();
}

QRect TDiffGrid::CellRect(int ACol, int ARow) const
{
    if (ACol < 0 || ACol >= d->ColCount() || ARow < 0 || ARow >= d->RowCount())
        return {};
    const int X = d->ColLeft(ACol);
    if (ARow == 0)
        return {X, 0, d->ColWidths[ACol], d->Heights[0]};
    if (ARow < d->Top)
        return {};
    d->EnsurePrefix();
    // The top row of a view scrolled into it starts above the body.
    const std::int64_t Y = d->BodyTop() + d->Offset(ARow) - d->Pos();
    if (Y >= viewport()->height())
        return {};
    return {X, int(Y), d->ColWidths[ACol], d->Heights[ARow]};
}

// A cell owns the grid line after it, as a string grid counts it.
void TDiffGrid::MouseToCell(int X, int Y, int& ACol, int& ARow) const
{
    ACol = -1;
    ARow = -1;
    if (X < 0 || Y < 0 || X >= viewport()->width() || Y >= viewport()->height())
        return;
    int C = 0;
    for (int Left = 0; C < d->ColCount(); ++C) {
        Left += d->ColWidths[C] + 1;
        if (X < Left)
            break;
    }
    if (C >= d->ColCount())
        return;
    int R = -1;
    if (Y < d->BodyTop()) {
        R = 0;
    } else if (d->RowCount() > 1) {
        d->EnsurePrefix();
        const std::int64_t Target = Y - d->BodyTop() + d->Pos();
        const int Candidate = d->LastRowStartingBy(Target);
        if (Candidate >= d->Top && Target < d->OffsetEnd(Candidate) + d->BodyLine())
            R = Candidate;
    }
    if (R < 0)
        return;
    ACol = C;
    ARow = R;
}

int TDiffGrid::GridWidth() const
{
    return width();
}

unsigned TDiffGrid::Options() const
{
    return d->Options;
}

void TDiffGrid::SetOptions(unsigned Options)
{
    if (Options == d->Options)
        return;
    d->Options = Options;
    UpdateScrollBar();
    viewport()->update();
}

void TDiffGrid::InvalidateRect(const QRect& Rect)
{
    if (!Rect.isEmpty())
        viewport()->update(Rect);
}

void TDiffGrid::InvalidateRow(int ARow)
{
    const QRect First = CellRect(0, ARow);
    if (First.isNull())
        return;
    viewport()->update(QRect(0, First.top(), viewport()->width(), First.height() + 1));
}

// ---- painting -------------------------------------------------------------------------------

void TDiffGrid::paintEvent(QPaintEvent* Event)
{
    d->EnsurePrefix();
    QPainter Painter(viewport());
    const QRect Area = Event->rect();
    PaintCells(Painter, Area);
    PaintGridLines(Painter);
    if (hasFocus())
        PaintFocusRect(Painter);
}

void TDiffGrid::PaintCells(QPainter& Painter, const QRect& Area)
{
    const int ViewHeight = viewport()->height();
    const int GridRight = d->ColLeft(d->ColCount());
    int GridBottom = d->BodyTop();

    // A body row scrolled partly above the body is drawn whole but shown below the fixed row only.
    const QRect Body(0, d->BodyTop(), viewport()->width(), std::max(0, ViewHeight - d->BodyTop()));
    const auto PaintRow = [&](int R, int Y) {
        const int H = d->Heights[R];
        if (H <= 0 || Y + H <= Area.top() || Y > Area.bottom())
            return;
        for (int C = 0, X = 0; C < d->ColCount(); X += d->ColWidths[C] + 1, ++C) {
            const int W = d->ColWidths[C];
            const QRect Cell(X, Y, W, H);
            const QRect Shown = R == 0 ? Cell : Cell.intersected(Body);
            if (W <= 0 || !Shown.intersects(Area))
                continue;
            TGridDrawState State = 0;
            if (R == 0 || C == 0)
                State |= gdFixed;
            if (R == d->Row && R > 0)
                State |= gdSelected;
            if (R == d->Row && C == d->Col && hasFocus())
                State |= gdFocused;
            Painter.save();
            Painter.setClipRect(Shown);
            Painter.setFont(font());
            Painter.setPen(palette().color(QPalette::Text));
            if (OnDrawCell)
                OnDrawCell(Painter, C, R, Cell, State);
            else
                DrawCellPlainly(Painter, C, R, Cell, State);
            Painter.restore();
        }
    };

    PaintRow(0, 0);
    if (d->RowCount() > 1) {
        const std::int64_t TopOffset = d->Pos();
        const int First = std::max(d->Top, d->LastRowStartingBy(TopOffset + std::max(0, Area.top() - d->BodyTop())));
        for (int R = First; R < d->RowCount(); ++R) {
            const int Y = d->BodyTop() + int(d->Offset(R) - TopOffset);
            if (Y > Area.bottom() || Y >= ViewHeight)
                break;
            PaintRow(R, Y);
        }
        const int Last = d->RowCount() - 1;
        GridBottom = int(std::min<std::int64_t>(ViewHeight, d->BodyTop() + d->OffsetEnd(Last) - TopOffset + d->BodyLine()));
    }

    // What lies beyond the last column and below the last row.
    const QColor Back = palette().color(QPalette::Base);
    if (GridRight < viewport()->width())
        Painter.fillRect(QRect(GridRight, 0, viewport()->width() - GridRight, ViewHeight), Back);
    if (GridBottom < ViewHeight)
        Painter.fillRect(QRect(0, GridBottom, std::min(GridRight, viewport()->width()), ViewHeight - GridBottom), Back);
}

void TDiffGrid::PaintGridLines(QPainter& Painter)
{
    const QColor Body = Blend(palette().color(QPalette::Base), palette().color(QPalette::Text), 25);
    const QColor Fixed = Blend(palette().color(QPalette::Base), palette().color(QPalette::Text), 50);
    const int ViewHeight = viewport()->height();
    const int GridRight = d->ColLeft(d->ColCount());

    // The last row drawn (its line included) bounds the vertical lines.
    int Bottom = d->BodyTop();
    int LastShown = 0;
    if (d->RowCount() > 1) {
        const std::int64_t TopOffset = d->Pos();
        LastShown = d->LastRowStartingBy(TopOffset + std::max(0, ViewHeight - d->BodyTop()));
        Bottom = int(std::min<std::int64_t>(ViewHeight, d->BodyTop() + d->OffsetEnd(LastShown) - TopOffset + d->BodyLine()));
    }
    Bottom = std::min(Bottom, ViewHeight);

    Painter.save();
    Painter.setRenderHint(QPainter::Antialiasing, false);
    // Horizontal lines.
    Painter.fillRect(QRect(0, d->Heights[0], GridRight, 1), Fixed);
    if (d->BodyLine() && d->RowCount() > 1) {
        const std::int64_t TopOffset = d->Pos();
        for (int R = d->Top; R <= LastShown; ++R) {
            const std::int64_t Y = d->BodyTop() + d->OffsetEnd(R) - TopOffset;
            if (Y >= ViewHeight)
                break;
            Painter.fillRect(QRect(0, int(Y), GridRight, 1), Body);
            Painter.fillRect(QRect(0, int(Y), d->ColWidths[0], 1), Fixed);
        }
    }
    // Vertical lines: after the fixed column darker, after the others lighter; on the header
    // band every line borders a fixed cell.
    for (int C = 0, X = 0; C < d->ColCount(); ++C) {
        X += d->ColWidths[C];
        Painter.fillRect(QRect(X, 0, 1, d->Heights[0] + 1), Fixed);
        if (Bottom > d->BodyTop())
            Painter.fillRect(QRect(X, d->BodyTop(), 1, Bottom - d->BodyTop()), C == 0 ? Fixed : Body);
        X += 1;
    }
    Painter.restore();
}

// The dotted rectangle of DrawFocusRect: every other pixel inverted, so it shows on any colour.
void TDiffGrid::PaintFocusRect(QPainter& Painter)
{
    if (d->Row < 1 || d->Row >= d->RowCount())
        return;
    const QRect First = CellRect(0, d->Row);
    if (First.isNull() || First.height() <= 0)
        return;
    const int Last = d->ColCount() - 1;
    const QRect Rect(0, First.top(), d->ColLeft(Last) + d->ColWidths[Last], First.height());
    if (Rect.width() <= 0)
        return;
    QPolygon Dots;
    const int L = Rect.left(), T = Rect.top(), R = Rect.right(), B = Rect.bottom();
    for (int X = L; X <= R; X += 2) {
        Dots << QPoint(X, T);
        if (B != T)
            Dots << QPoint(X, B);
    }
    for (int Y = T + 2; Y < B; Y += 2) {
        Dots << QPoint(L, Y);
        if (R != L)
            Dots << QPoint(R, Y);
    }
    Painter.save();
    Painter.setClipRect(QRect(0, d->BodyTop(), viewport()->width(), std::max(0, viewport()->height() - d->BodyTop())));
    Painter.setRenderHint(QPainter::Antialiasing, false);
    Painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    Painter.setPen(QPen(Qt::white, 0));
    Painter.drawPoints(Dots);
    Painter.restore();
}

void TDiffGrid::DrawCellPlainly(QPainter& Painter, int ACol, int ARow, const QRect& Rect, TGridDrawState State)
{
    QColor Back = palette().color(QPalette::Base);
    QColor Text = palette().color(QPalette::Text);
    if (State & gdFixed) {
        Back = palette().color(QPalette::Button);
        Text = palette().color(QPalette::ButtonText);
    } else if (State & gdSelected) {
        Back = palette().color(QPalette::Highlight);
        Text = palette().color(QPalette::HighlightedText);
    }
    Painter.fillRect(Rect, Back);
    Painter.setPen(Text);
    GdiTextOut(Painter, Rect.left() + 2, Rect.top() + 2, d->Text(ACol, ARow));
}

// ---- events ---------------------------------------------------------------------------------

void TDiffGrid::resizeEvent(QResizeEvent* Event)
{
    QAbstractScrollArea::resizeEvent(Event);
    UpdateScrollBar();
}

void TDiffGrid::HandlePress(QMouseEvent* Event)
{
    d->Sizing = TSizing::None;
    d->SelectingByDrag = false;
    const QPoint Pos = Event->position().toPoint();
    if (Event->button() != Qt::LeftButton)
        return;

    int C = -1, R = -1;
    MouseToCell(Pos.x(), Pos.y(), C, R);
    if (R < 0)
        return;
    // Column borders grab in the fixed row only, as in a string grid, so every column drag is
    // one the window sees starting on the header; rows by their border in the fixed column.
    for (int I = d->ColCount() - 1; R == 0 && I >= 0; --I) {
        const int Line = d->ColLeft(I) + d->ColWidths[I];
        if (Pos.x() >= Line - kSizingZone && Pos.x() <= Line) {
            d->Sizing = TSizing::Column;
            d->SizingIndex = I;
            d->SizingOrigin = Pos.x();
            d->SizingStartSize = d->ColWidths[I];
            return;
        }
    }
    if (R >= 1 && C == 0) {
        const QRect Cell = CellRect(0, R);
        const int Line = Cell.top() + Cell.height();
        if (Pos.y() >= Line - kSizingZone) {
            d->Sizing = TSizing::Row;
            d->SizingIndex = R;
            d->SizingOrigin = Pos.y();
            d->SizingStartSize = d->Heights[R];
            return;
        }
    }
    if (R >= 1) {
        d->SelectingByDrag = true;
        MoveSelection(R);
    }
}

void TDiffGrid::mousePressEvent(QMouseEvent* Event)
{
    HandlePress(Event);
    const QPoint Pos = Event->position().toPoint();
    if (OnMouseDown)
        OnMouseDown(Event->button(), Event->modifiers(), Pos.x(), Pos.y());
}

void TDiffGrid::mouseMoveEvent(QMouseEvent* Event)
{
    const QPoint Pos = Event->position().toPoint();
    if (d->Sizing == TSizing::Column) {
        SetColWidths(d->SizingIndex, d->SizingStartSize + Pos.x() - d->SizingOrigin);
        return;
    }
    if (d->Sizing == TSizing::Row) {
        SetRowHeights(d->SizingIndex, d->SizingStartSize + Pos.y() - d->SizingOrigin);
        return;
    }
    int C = -1, R = -1;
    MouseToCell(Pos.x(), Pos.y(), C, R);
    if (d->SelectingByDrag && (Event->buttons() & Qt::LeftButton)) {
        if (R >= 1 && R != d->Row)
            MoveSelection(R);
        return;
    }
    // Show where a border can be grabbed.
    Qt::CursorShape Shape = Qt::ArrowCursor;
    if (R >= 0) {
        for (int I = 0; R == 0 && I < d->ColCount(); ++I) {
            const int Line = d->ColLeft(I) + d->ColWidths[I];
            if (Pos.x() >= Line - kSizingZone && Pos.x() <= Line)
                Shape = Qt::SplitHCursor;
        }
        if (Shape == Qt::ArrowCursor && R >= 1 && C == 0) {
            const QRect Cell = CellRect(0, R);
            if (Pos.y() >= Cell.top() + Cell.height() - kSizingZone)
                Shape = Qt::SplitVCursor;
        }
    }
    if (Shape == Qt::ArrowCursor)
        viewport()->unsetCursor();
    else
        viewport()->setCursor(Shape);
}

void TDiffGrid::mouseReleaseEvent(QMouseEvent* Event)
{
    const QPoint Pos = Event->position().toPoint();
    // The dragged size is already applied; the handler measures with it.
    if (d->Sizing == TSizing::Column)
        SetColWidths(d->SizingIndex, d->SizingStartSize + Pos.x() - d->SizingOrigin);
    else if (d->Sizing == TSizing::Row)
        SetRowHeights(d->SizingIndex, d->SizingStartSize + Pos.y() - d->SizingOrigin);
    if (Event->button() == Qt::LeftButton) {
        d->Sizing = TSizing::None;
        d->SelectingByDrag = false;
    }
    if (OnMouseUp)
        OnMouseUp(Event->button(), Event->modifiers(), Pos.x(), Pos.y());
}

void TDiffGrid::mouseDoubleClickEvent(QMouseEvent* Event)
{
    // The second press of a double-click is a press too (selection, OnMouseDown) before the
    // double-click itself, so the handler sees the cell under this press.
    mousePressEvent(Event);
    if (Event->button() == Qt::LeftButton && d->Sizing == TSizing::None && OnDblClick)
        OnDblClick();
}

void TDiffGrid::keyPressEvent(QKeyEvent* Event)
{
    // Qt delivers key events accepted; the handler accepts only what it consumes.
    Event->ignore();
    if (OnKeyDown) {
        OnKeyDown(Event);
        if (Event->isAccepted())
            return;
    }
    const int Last = d->RowCount() - 1;
    if (Last < 1) {
        QAbstractScrollArea::keyPressEvent(Event);
        return;
    }
    const int Page = std::max(1, VisibleRowCount());
    // A key that does not move the selection only brings the current row into view.
    const auto MoveTo = [this](int Target) {
        if (Target != d->Row)
            MoveSelection(Target);
        else
            EnsureRowVisible(Target);
    };
    // Inside a current row taller than the view the keys scroll through it before they move on.
    switch (Event->key()) {
    case Qt::Key_Up:
        if (!ScrollThroughCurrentRow(-1, false))
            MoveTo(std::max(1, d->Row - 1));
        break;
    case Qt::Key_Down:
        if (!ScrollThroughCurrentRow(+1, false))
            MoveTo(std::min(Last, d->Row + 1));
        break;
    case Qt::Key_PageDown: {
        if (ScrollThroughCurrentRow(+1, true))
            break;
        // The page scrolls with the selection, which keeps its place in the view.
        const int OldTop = d->Top;
        const int Target = std::min(Last, d->Row + Page);
        MoveTo(Target);
        if (d->Row == Target) {
            SetTopRow(std::min(OldTop + Page, Target));
            EnsureRowVisible(Target);
        }
        break;
    }
    case Qt::Key_PageUp: {
        if (ScrollThroughCurrentRow(-1, true))
            break;
        const int OldTop = d->Top;
        const int Target = std::max(1, d->Row - Page);
        MoveTo(Target);
        if (d->Row == Target) {
            SetTopRow(std::min(Target, std::max(1, OldTop - Page)));
            EnsureRowVisible(Target);
        }
        break;
    }
    case Qt::Key_Home:
        MoveTo(1);
        break;
    case Qt::Key_End:
        MoveTo(Last);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(Event);
        return;
    }
    Event->accept();
}

void TDiffGrid::wheelEvent(QWheelEvent* Event)
{
    QAbstractScrollArea::wheelEvent(Event);
}

void TDiffGrid::changeEvent(QEvent* Event)
{
    QAbstractScrollArea::changeEvent(Event);
    if (Event->type() == QEvent::FontChange) {
        // Inside a tall row the view moves a text line at a time.
        d->Step = std::max(1, TTextMeasure(font(), this).LineHeight());
        UpdateScrollBar();
    }
}

void TDiffGrid::focusInEvent(QFocusEvent* Event)
{
    QAbstractScrollArea::focusInEvent(Event);
    InvalidateRow(d->Row);
}

void TDiffGrid::focusOutEvent(QFocusEvent* Event)
{
    QAbstractScrollArea::focusOutEvent(Event);
    InvalidateRow(d->Row);
}
