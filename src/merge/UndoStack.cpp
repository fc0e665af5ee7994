#include "merge/UndoStack.h"

#include <utility>

void TUndoStack::Push(TUndoState State)
{
    States.append(std::move(State));
    while (States.size() > Capacity)
        States.removeFirst();
}

std::optional<TUndoState> TUndoStack::Pop()
{
    if (States.isEmpty())
        return std::nullopt;
    return States.takeLast();
}

TGridRestore ComputeGridRestore(const TUndoState& State, std::int32_t RowCount, std::int32_t ColCount,
                                std::int32_t FixedRows)
{
    TGridRestore Restore;
    // The fixed header row cannot be the current row, so a saved row there counts as not fitting.
    if (State.SelectedRow >= FixedRows && State.SelectedRow < RowCount)
        Restore.Row = State.SelectedRow;
    else if (RowCount > FixedRows)
        Restore.Row = FixedRows;
    Restore.Col = State.SelectedCol >= 0 && State.SelectedCol < ColCount ? State.SelectedCol : 1;
    if (State.TopRow >= FixedRows && State.TopRow < RowCount)
        Restore.TopRow = State.TopRow;
    return Restore;
}
