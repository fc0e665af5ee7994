#pragma once

#include <QList>
#include <QStringList>

#include <cstdint>
#include <optional>

// Both line lists and the grid position, taken just before a merge or an edit.
struct TUndoState
{
    QStringList LeftLines;
    QStringList RightLines;
    std::int32_t SelectedRow = 0;
    std::int32_t SelectedCol = 0;
    std::int32_t TopRow = 0;
};

// FUndoStack: the last Capacity states, newest on top. Pushing a fourth drops the oldest.
class TUndoStack
{
public:
    static constexpr qsizetype Capacity = 3;

    // PushUndoState: before every merge and cell edit.
    void Push(TUndoState State);
    // UndoLastMerge: the newest state, removed from the stack; none when empty (the window beeps).
    [[nodiscard]] std::optional<TUndoState> Pop();
    // ClearUndoStack: on every new comparison and at shut-down.
    void Clear() { States.clear(); }

    [[nodiscard]] bool IsEmpty() const { return States.isEmpty(); }
    [[nodiscard]] qsizetype Count() const { return States.size(); }
    [[nodiscard]] const TUndoState& At(qsizetype I) const { return States[I]; }   // 0 = oldest

private:
    QList<TUndoState> States;
};

// Where UndoLastMerge puts the grid, decided against the rows the grid has right now. -1 in Row
// or TopRow means: leave it as it is.
struct TGridRestore
{
    std::int32_t Row = -1;
    std::int32_t Col = -1;
    std::int32_t TopRow = -1;
};

// UndoLastMerge: the saved row, column and top row when they still fit the grid; otherwise the
// first body row and column 1, and the top row stays.
[[nodiscard]] TGridRestore ComputeGridRestore(const TUndoState& State, std::int32_t RowCount,
                                              std::int32_t ColCount, std::int32_t FixedRows);
