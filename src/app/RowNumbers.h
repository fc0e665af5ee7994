#pragma once

#include <QString>

// The text of a grid row number ("1", "2", ... in decimal, no padding). The strings share one
// process-wide digit store that is never freed, so a million rows cost no allocation per row and
// no copy of a number can outlive its characters. UI thread only.
[[nodiscard]] QString RowNumberText(int Row);
