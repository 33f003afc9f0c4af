// The sound and command pairs of the alert pages and the Internet page.
#include "dialogs/AlertFields.h"

#include <QLineEdit>
#include <QToolButton>

#include "res/Pictures.h"

namespace tarnwatch {

void ConnectSoundFields(QWidget* page, SoundAlert& sound, const SoundFieldControls& c,
                        const DialogServices& services) {
    for (QToolButton* b : {c.browseFailed, c.browseOkAgain}) b->setIcon(BrowseIcon());
    for (QToolButton* b : {c.playFailed, c.playOkAgain}) b->setIcon(PlayIcon());
    const auto pair = [&](char* field, QLineEdit* edit, QToolButton* browse, QToolButton* play) {
        QObject::connect(browse, &QToolButton::clicked, page, [page, field, edit, &services] {
            BrowseInto(page, field, kTextSize, edit, WaveFileChoice(field), services);
        });
        QObject::connect(play, &QToolButton::clicked, page,
                         [field, &services] { PlayMember(field, services); });
    };
    pair(sound.failedSound, c.failedEdit, c.browseFailed, c.playFailed);
    pair(sound.okAgainSound, c.okAgainEdit, c.browseOkAgain, c.playOkAgain);
}

void ConnectCommandFields(QWidget* page, BatchAlert& batch, const CommandFieldControls& c,
                          const DialogServices& services) {
    for (QToolButton* b : {c.browseFailed, c.browseOkAgain}) b->setIcon(BrowseIcon());
    const auto pair = [&](char(&field)[kTextSize], const std::int32_t& wait, QLineEdit* edit,
                          QToolButton* browse, QAbstractButton* test) {
        QObject::connect(browse, &QToolButton::clicked, page, [page, &field, edit, &services] {
            BrowseInto(page, field, edit, CommandFileChoice(field), services);
        });
        QObject::connect(test, &QAbstractButton::clicked, page,
                         [page, &field, &wait, edit, &services] {
                             TestTypedCommand(page, field, edit, wait, services);
                         });
    };
    pair(batch.failedCommand, batch.failedCommandWait, c.failedEdit, c.browseFailed, c.testFailed);
    pair(batch.okAgainCommand, batch.okAgainCommandWait, c.okAgainEdit, c.browseOkAgain,
         c.testOkAgain);
}

}  // namespace tarnwatch
