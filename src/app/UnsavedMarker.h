#pragma once

#include <QString>

class QComboBox;

// Shows on a side's path box whether the side holds unsaved changes: a dot at the start of the
// box, and "(modified)" after the side's file in the box's tooltip.
void ShowUnsavedMarker(QComboBox& Box, bool Unsaved, const QString& FileName);

// The marker's action in the box's editor (visible while the side is unsaved), or nullptr.
[[nodiscard]] class QAction* UnsavedMarkerOf(const QComboBox& Box);
