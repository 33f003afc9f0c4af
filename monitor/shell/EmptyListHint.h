// While the list has no entries, a hint in its area that Add starts watching
// a service. A placeholder over the view, never a row of the model.
#pragma once

#include <QObject>

class QAbstractItemModel;
class QAbstractItemView;
class QLabel;

namespace tarnwatch {

class EmptyListHint final : public QObject {
    Q_OBJECT
public:
    // Follows the rows of the view's model; lives as long as the view.
    explicit EmptyListHint(QAbstractItemView* view);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Update();

    // Kept apart from the view: events reach the filter while the view is
    // being destroyed, when it must no longer be called.
    QWidget* viewport_;
    QAbstractItemModel* model_;
    QLabel* label_;
};

}  // namespace tarnwatch
