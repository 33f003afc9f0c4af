// The row's context menu: snooze the alerts of the entry under the pointer,
// or end its snooze.
#pragma once

#include <QPoint>

class QWidget;

namespace tarnwatch {

class MonitorEngine;

// Shows the menu of the entry at `row` at `at` (global coordinates); nothing
// for a place with no row.
void ShowSnoozeMenu(MonitorEngine& engine, int row, const QPoint& at, QWidget* parent);

}  // namespace tarnwatch
