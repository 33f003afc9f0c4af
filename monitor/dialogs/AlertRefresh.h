// The refresh the Sound and Batch pages share: which failure boxes show and
// how they read, what the file labels say, and whether the alert actions can
// be chosen, from the entry's kind and the ticked boxes.
#pragma once

#include <QList>
#include <cstdint>

class QAbstractButton;
class QCheckBox;
class QLabel;
class QWidget;

namespace tarnwatch {

class CAddEditDlg;

enum class AlertPageKind { kSound, kBatch };

// The controls of one alert page that the refresh touches.
struct AlertControls {
    QCheckBox* unavailable;
    QCheckBox* timedOut;
    QCheckBox* unresolved;
    QLabel* failureLabel;
    QLabel* recoveryLabel;
    QList<QAbstractButton*> modeRadios;
    // Usable only while a mode other than none is chosen.
    QList<QWidget*> fileControls;
};

// The page's values the refresh reads.
struct AlertValues {
    bool useGlobal;
    const CAddEditDlg* general;  // null in the Global Options sheet
    std::int32_t onUnavailable;
    std::int32_t onTimedOut;
    std::int32_t onUnresolved;
    bool modeIsNone;
};

void RefreshAlertControls(AlertPageKind page, const AlertControls& c, const AlertValues& v);

}  // namespace tarnwatch
