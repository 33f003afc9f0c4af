// The empty list's hint; see EmptyListHint.h.
#include "shell/EmptyListHint.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QLabel>

#include "res/StringTable.h"
#include "shell/QtText.h"

namespace tarnwatch {

EmptyListHint::EmptyListHint(QAbstractItemView* view)
    : QObject(view), view_(view), label_(new QLabel(view->viewport())) {
    label_->setObjectName(QStringLiteral("emptyListHint"));
    label_->setText(QText(IDS_EMPTY_LIST_HINT));
    label_->setAlignment(Qt::AlignCenter);
    label_->setWordWrap(true);
    label_->setForegroundRole(QPalette::PlaceholderText);
    // Clicks reach the list under it, as on an empty list.
    label_->setAttribute(Qt::WA_TransparentForMouseEvents);
    QAbstractItemModel* model = view->model();
    connect(model, &QAbstractItemModel::modelReset, this, &EmptyListHint::Update);
    connect(model, &QAbstractItemModel::rowsInserted, this, &EmptyListHint::Update);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &EmptyListHint::Update);
    view->viewport()->installEventFilter(this);
    Update();
}

bool EmptyListHint::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view_->viewport() && event->type() == QEvent::Resize) Update();
    return QObject::eventFilter(watched, event);
}

void EmptyListHint::Update() {
    label_->setGeometry(view_->viewport()->rect());
    label_->setVisible(view_->model() && view_->model()->rowCount() == 0);
}

}  // namespace tarnwatch
