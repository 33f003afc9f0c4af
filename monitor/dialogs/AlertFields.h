// The failed/ok-again pairs of sound and command fields, wired the same way
// wherever they appear: on the Sound and Batch pages and on the Internet
// page. The buttons act on `sound`/`batch` and `services`, which must live
// as long as the page.
#pragma once

#include "dialogs/DialogServices.h"
#include "engine/ServiceItem.h"

class QAbstractButton;
class QLineEdit;
class QToolButton;

namespace tarnwatch {

struct SoundFieldControls {
    QLineEdit* failedEdit;
    QToolButton* browseFailed;
    QToolButton* playFailed;
    QLineEdit* okAgainEdit;
    QToolButton* browseOkAgain;
    QToolButton* playOkAgain;
};

// Browse stores the chosen wave file in the field; Play plays what was last
// stored (by Browse or by leaving the page), not what is being typed.
void ConnectSoundFields(QWidget* page, SoundAlert& sound, const SoundFieldControls& controls,
                        const DialogServices& services);

struct CommandFieldControls {
    QLineEdit* failedEdit;
    QToolButton* browseFailed;
    QAbstractButton* testFailed;
    QLineEdit* okAgainEdit;
    QToolButton* browseOkAgain;
    QAbstractButton* testOkAgain;
};

// Browse stores the chosen program; Test runs the command as typed, with the
// field's wait flag.
void ConnectCommandFields(QWidget* page, BatchAlert& batch, const CommandFieldControls& controls,
                          const DialogServices& services);

}  // namespace tarnwatch
