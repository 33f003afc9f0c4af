// The empty list's hint; see EmptyListHint.h.
#include "shell/EmptyListHint.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QEvent>
#include <QLabel>

#include "res/StringTable.h"
#include "res/QtText.h"

namespace tarnwatch {

EmptyListHint::EmptyListHint(QAbstractItemView* view)
    : QObject(view),
      viewport_(view->viewport()),
      model_(view->model()),
      label_(new QLabel(view->viewport())) {
    label_->setObjectName(QStringLiteral("emptyListHint"));
    label_->setText(TableText(IDS_EMPTY_LIST_HINT));
    label_->setAlignment(Qt::AlignCenter);
    label_->setWordWrap(true);
    label_->setForegroundRole(QPalette::PlaceholderText);
    // Clicks reach the list under it, as on an empty list.
    label_->setAttribute(Qt::WA_TransparentForMouseEvents);
    connect(model_, &QAbstractItemModel::modelReset, this, &EmptyListHint::Update);
    connect(model_, &QAbstractItemModel::rowsInserted, this, &EmptyListHint::Update);
    connect(model_, &QAbstractItemModel::rowsRemoved, this, &EmptyListHint::Update);
    viewport_->installEventFilter(this);
    Update();
}

bool EmptyListHint::eventFilter(QObject* watched, QEvent* event) {
    if (watched == viewport_ && event->type() == QEvent::Resize) {
        label_->setGeometry(viewport_->rect());
    }
    return QObject::eventFilter(watched, event);
}

void EmptyListHint::Update() {
    label_->setGeometry(viewport_->rect());
    label_->setVisible(model_->rowCount() == 0);
}

}  // namespace tarnwatch
