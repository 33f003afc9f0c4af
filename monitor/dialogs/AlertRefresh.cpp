// The alert pages' shared refresh.
#include "dialogs/AlertRefresh.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>

#include "dialogs/CAddEditDlg.h"
#include "engine/ServiceItem.h"
#include "res/QtText.h"
#include "res/StringTable.h"

namespace tarnwatch {
namespace {

void SetCaptions(const AlertControls& c, int unavailableId) {
    c.unavailable->setText(TableText(unavailableId));
    c.timedOut->setText(TableText(IDS_FOR_TIMED_OUT));
    c.unresolved->setText(TableText(IDS_FOR_UNRESOLVED));
}

void ShowAndEnable(QCheckBox* box) {
    box->setVisible(true);
    box->setEnabled(true);
}

void SetLabels(const AlertControls& c, int failureId, int recoveryId) {
    c.failureLabel->setText(TableText(failureId));
    c.recoveryLabel->setText(TableText(recoveryId));
}

// The entry's own settings: the choices its kind of test can fail by.
// Returns whether the actions can be chosen.
bool RefreshForKind(AlertPageKind page, const AlertControls& c, const AlertValues& v) {
    const bool sound = page == AlertPageKind::kSound;
    switch (v.general->sourceKind) {
        case kSourceProcessName:
            SetCaptions(c, IDS_FOR_NOT_RUNNING);
            ShowAndEnable(c.unavailable);
            c.timedOut->setVisible(false);
            c.unresolved->setVisible(false);
            SetLabels(c, sound ? IDS_SOUND_NOT_RUNNING : IDS_BATCH_NOT_RUNNING,
                      sound ? IDS_SOUND_RUNNING_AGAIN : IDS_BATCH_RUNNING_AGAIN);
            return v.onUnavailable != 0;
        case kSourceProgram:
            SetCaptions(c, IDS_FOR_FAILED);
            for (QCheckBox* box : {c.unavailable, c.timedOut, c.unresolved}) ShowAndEnable(box);
            SetLabels(c, sound ? IDS_SOUND_FAILED : IDS_BATCH_FAILED,
                      sound ? IDS_SOUND_SUCCEEDED : IDS_BATCH_SUCCEEDED);
            // A program's result is never "unresolved" for a batch alert.
            if (sound) return v.onUnavailable || v.onTimedOut || v.onUnresolved;
            return v.onUnavailable || v.onTimedOut;
        default:
            // TCP ports, and Ping, whose echo fails by timing out or by an
            // address that does not resolve just as a connection does (and
            // any kind a damaged list may hold).
            SetCaptions(c, IDS_FOR_UNAVAILABLE);
            for (QCheckBox* box : {c.unavailable, c.timedOut, c.unresolved}) ShowAndEnable(box);
            SetLabels(c, sound ? IDS_SOUND_FAILED : IDS_BATCH_FAILED,
                      sound ? IDS_SOUND_OK_AGAIN : IDS_BATCH_OK_AGAIN);
            return v.onUnavailable || v.onTimedOut || v.onUnresolved;
    }
}

}  // namespace

void RefreshAlertControls(AlertPageKind page, const AlertControls& c, const AlertValues& v) {
    bool actionsOn = false;
    if (v.useGlobal) {
        // Captions and visibility stay as they stand: the global settings
        // apply, nothing here can be chosen.
        for (QCheckBox* box : {c.unavailable, c.timedOut, c.unresolved}) box->setEnabled(false);
    } else if (!v.general) {
        // The global settings themselves: they serve every kind of entry.
        SetCaptions(c, IDS_FOR_UNAVAILABLE_OR_FAILED);
        for (QCheckBox* box : {c.unavailable, c.timedOut, c.unresolved}) ShowAndEnable(box);
        actionsOn = true;
    } else {
        actionsOn = RefreshForKind(page, c, v);
    }
    for (QAbstractButton* radio : c.modeRadios) radio->setEnabled(actionsOn);
    for (QWidget* w : c.fileControls) w->setEnabled(actionsOn && !v.modeIsNone);
}

}  // namespace tarnwatch
