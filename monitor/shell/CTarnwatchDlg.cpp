// The main window.
#include "shell/CTarnwatchDlg.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QStyleOptionHeader>
#include <QStyledItemDelegate>
#include <QThread>
#include <QToolButton>
#include <QToolTip>

#include "engine/SystemClock.h"
#include "res/Pictures.h"
#include "res/QtText.h"
#include "res/StringTable.h"
#include "res/Pictures.h"
#include "res/QtText.h"
#include "shell/EmptyListHint.h"
#include "shell/ListTextMenu.h"
#include "shell/QtSheets.h"
#include "shell/SilenceMenus.h"
#include "ui_TarnwatchDlg.h"

namespace tarnwatch {
namespace {

class WholeTextTipDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        if (event->type() != QEvent::ToolTip) {
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        }
        QString text;
        if (sizeHint(option, index).width() > view->visualRect(index).width()) {
            text = index.data().toString();
        }
        // The row's own tip (its status's age, its snooze) follows the text.
        const QString rowTip = index.data(Qt::ToolTipRole).toString();
        if (!rowTip.isEmpty()) text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + rowTip;
        if (!text.isEmpty()) {
            QToolTip::showText(event->globalPos(), text, view);
        } else {
            QToolTip::hideText();
        }
        return true;
    }
};

// The width the style gives a heading that shows its whole text.
int HeadingWidth(const QHeaderView& header, int column) {
    QStyleOptionHeader option;
    option.initFrom(&header);
    option.section = column;
    option.text = header.model()->headerData(column, Qt::Horizontal).toString();
    const QSize text = header.fontMetrics().size(0, option.text);
    return header.style()
        ->sizeFromContents(QStyle::CT_HeaderSection, &option, text, &header)
        .width();
}

}  // namespace

CTarnwatchDlg::CTarnwatchDlg(SettingsStore* store, Clock* clock, SheetPort* sheets, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TarnwatchDlg>()) {
    if (!clock) {
        ownClock_ = std::make_unique<SystemClock>();
        clock = ownClock_.get();
    }
    ui_->setupUi(this);
    setWindowTitle(TableText(IDS_APP_NAME));
    setWindowIcon(ProgramIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    messageBox_ = std::make_unique<QtMessageBox>(this, pump_);
    windowPort_ = std::make_unique<QtWindowPort>(this);
    sound_ = std::make_unique<CanberraSound>();
    notifier_ = std::make_unique<DesktopNotifier>();

    Ports ports;
    ports.clock = clock;
    ports.timers = &timers_;
    ports.pump = &pump_;
    ports.messageBox = messageBox_.get();
    ports.waitCursor = &waitCursor_;
    ports.window = windowPort_.get();
    ports.sound = sound_.get();
    if (!sheets) {
        ownSheets_ = MakeQtSheets(this, sound_.get(), &pump_);
        sheets = ownSheets_.get();
    }
    ports.sheets = sheets;
    ports.notifier = notifier_.get();
    engine_ = std::make_unique<MonitorEngine>(ports, store);
    engine_->SetObserver(this);
    engine_->SetBackgroundSaves(true);
    model_ = std::make_unique<RowsModel>(*engine_);

    ui_->statusPicture->setPixmap(OverallStatusPixmap(engine_->OverallLevel()));
    ui_->logoPicture->setPixmap(LogoPixmap());
    ui_->stopwatchPicture->setPixmap(StopwatchPixmap());
    connect(notifier_.get(), &DesktopNotifier::openRequested, this,
            [this] { windowPort_->Show(); });
    connect(&sleepWatch_, &SleepWatch::sleeping, this, [this] { engine_->OnSleep(); });
    connect(&sleepWatch_, &SleepWatch::woke, this, [this] { engine_->OnWake(); });
    connect(notifier_.get(), &DesktopNotifier::snoozeRequested, this,
            [this](const QString& key) { engine_->SnoozeEntry(key.toStdString(), 60 * 60); });
    connect(ui_->aboutButton, &QPushButton::clicked, this, &CTarnwatchDlg::ShowAbout);
    connect(ui_->addButton, &QPushButton::clicked, this, [this] { engine_->OnAdd(); });
    connect(ui_->editButton, &QPushButton::clicked, this, [this] { engine_->OnEdit(); });
    connect(ui_->removeButton, &QPushButton::clicked, this, [this] { engine_->OnRemove(); });
    connect(ui_->moveUpButton, &QToolButton::clicked, this, [this] { engine_->OnMoveUp(); });
    connect(ui_->moveDownButton, &QToolButton::clicked, this, [this] { engine_->OnMoveDown(); });
    connect(ui_->globalOptionsButton, &QPushButton::clicked, this,
            [this] { engine_->OnGlobalOptions(); });
    connect(ui_->updateButton, &QPushButton::clicked, this, [this] { engine_->OnUpdate(); });
    connect(ui_->updateAllButton, &QPushButton::clicked, this, [this] { engine_->OnUpdateAll(); });
    connect(ui_->timersOnButton, &QRadioButton::clicked, this, [this] { engine_->OnTimersOn(); });
    connect(ui_->timersOffButton, &QRadioButton::clicked, this, [this] { engine_->OnTimersOff(); });
    QTreeView* list = ui_->entryList;
    connect(list, &QTreeView::clicked, this, [this](const QModelIndex& index) {
        engine_->OnSelect(index.isValid() ? index.row() : -1);
    });
    connect(list, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid()) engine_->OnDoubleClick(index.row());
    });
    connect(list->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { engine_->OnSort(column); });
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QWidget::customContextMenuRequested, this, [this, list](const QPoint& at) {
        ShowSnoozeMenu(*engine_, list->indexAt(at).row(), list->viewport()->mapToGlobal(at), this);
    });

    // The window's start-up: the settings come first, then the list is built
    // with the stored columns, then the list file fills it and the schedule
    // starts.
    engine_->ReadSettings();
    ApplyCloseOption();
    BuildList();
    new EmptyListHint(list);
    // Clicks on empty list space and the arrow keys move the selection too;
    // what the user sees selected is always the row the buttons act on.
    list->viewport()->installEventFilter(this);
    list->installEventFilter(this);
    connect(list->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { OnCurrentRowChanged(current); });
    engine_->Initialise();
    StateChanged();
    ScheduleChanged();
    // A fixed frame: the window neither grows nor offers to maximise.
    setFixedSize(sizeHint());
    closeSweep_.setInterval(100);
    connect(&closeSweep_, &QTimer::timeout, this, [this] { EndModalWindows(this); });
}

bool CTarnwatchDlg::eventFilter(QObject* watched, QEvent* event) {
    // What desktop lists do: Delete removes the selected entry, Enter edits it.
    if (watched == ui_->entryList && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Delete) {
            engine_->OnRemove();
            return true;
        }
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            engine_->OnEdit();
            return true;
        }
    }
    if (watched == ui_->entryList->viewport() && event->type() == QEvent::MouseButtonPress) {
        const auto* press = static_cast<QMouseEvent*>(event);
        if (!ui_->entryList->indexAt(press->position().toPoint()).isValid()) {
            engine_->OnSelect(-1);
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CTarnwatchDlg::OnCurrentRowChanged(const QModelIndex& current) {
    if (showingSelection_ || engine_->InPass() || !current.isValid()) return;
    if (current.row() != engine_->Entries().selectedRow) engine_->OnSelect(current.row());
}

void CTarnwatchDlg::ApplyCloseOption() {
    const bool offerClose = !engine_->Settings().disableClose;
    if (offerClose == windowFlags().testFlag(Qt::WindowCloseButtonHint)) return;
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowCloseButtonHint, offerClose);
    // Changing a flag hides the window; it comes back as it was.
    if (wasVisible) show();
}

void CTarnwatchDlg::OptionsApplied() {
    ApplyCloseOption();
    if (tray_) tray_->SetExitOffered(!engine_->Settings().disableClose);
}

CTarnwatchDlg::~CTarnwatchDlg() {
    engine_->SetObserver(nullptr);
    ui_->entryList->setModel(nullptr);
}

void CTarnwatchDlg::BuildList() {
    QTreeView* list = ui_->entryList;
    list->setModel(model_.get());
    QHeaderView* header = list->header();
    header->setSectionsMovable(true);
    header->setStretchLastSection(false);
    header->setSectionsClickable(true);
    const GlobalSettings& s = engine_->Settings();
    const GlobalSettings defaults;
    for (int c = 0; c < kColumnCount; ++c) {
        const auto i = static_cast<std::size_t>(c);
        int width = std::max(0, s.columnWidth[i]);
        // A column the user never resized shows its whole heading; a width
        // the user chose stays as it is.
        if (width == defaults.columnWidth[i]) {
            width = std::max(width, HeadingWidth(*header, c));
        }
        header->resizeSection(c, width);
    }
    // A cell too narrow for its text shows the whole text as its tool tip.
    list->setItemDelegate(new WholeTextTipDelegate(list));
    // The keyboard's way to what the mouse does: Ctrl+1 to Ctrl+8 sort by the
    // column shown at that place, Ctrl+Up and Ctrl+Down move the entry.
    for (int p = 0; p < kColumnCount; ++p) {
        auto* sort = new QShortcut(QKeySequence(Qt::CTRL | (Qt::Key_1 + p)), this);
        connect(sort, &QShortcut::activated, this,
                [this, header, p] { engine_->OnSort(header->logicalIndex(p)); });
    }
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Up), this), &QShortcut::activated, this,
            [this] { engine_->OnMoveUp(); });
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Down), this), &QShortcut::activated, this,
            [this] { engine_->OnMoveDown(); });
    const auto order = ColumnOrder(s.columnPosition);
    for (int p = 0; p < kColumnCount; ++p) {
        header->moveSection(header->visualIndex(order[static_cast<std::size_t>(p)]), p);
    }
}

void CTarnwatchDlg::RowsReset() {
    model_->Reset();
}

void CTarnwatchDlg::RowChanged(int row) {
    model_->RowChanged(row);
}

void CTarnwatchDlg::RowsInserted(int first, int count) {
    model_->RowsInserted(first, count);
}

void CTarnwatchDlg::RowRemoved(int row) {
    model_->RowRemoved(row);
}

void CTarnwatchDlg::RowMoved(int from, int to) {
    if (!engine_->InPass()) return model_->RowMoved(from, to);
    // A pass moves each failed entry to the end. Told of a move, the view
    // lays out every row again (it keeps an item per row), which would make
    // a pass cost the square of the list. The list is flat and a pass
    // selects each row it visits itself, so the rows from `from` to `to`
    // have only changed what they show, and only those in view need
    // painting.
    QTreeView* list = ui_->entryList;
    const QModelIndex top = list->indexAt(QPoint(0, 0));
    const QModelIndex bottom = list->indexAt(QPoint(0, list->viewport()->height() - 1));
    const int first = std::max(std::min(from, to), top.isValid() ? top.row() : 0);
    const int last =
        std::min(std::max(from, to), bottom.isValid() ? bottom.row() : model_->rowCount() - 1);
    if (first <= last) model_->RowsChanged(first, last);
}

void CTarnwatchDlg::StateChanged() {
    const ButtonStates& b = engine_->Buttons();
    ui_->addButton->setEnabled(b.add);
    ui_->removeButton->setEnabled(b.remove);
    ui_->editButton->setEnabled(b.edit);
    ui_->moveUpButton->setEnabled(b.moveUp);
    ui_->moveDownButton->setEnabled(b.moveDown);
    ui_->updateButton->setEnabled(b.update);
    ui_->statusPicture->setPixmap(OverallStatusPixmap(engine_->OverallLevel()));
    if (tray_) {
        ShowIconState();
        tray_->SetBusy(engine_->Busy());
    }
    const int selected = engine_->Entries().selectedRow;
    QTreeView* list = ui_->entryList;
    showingSelection_ = true;
    if (selected >= 0 && selected < model_->rowCount()) {
        list->setCurrentIndex(model_->index(selected, 0));
    } else if (list->selectionModel()) {
        list->selectionModel()->clear();
    }
    showingSelection_ = false;
}

void CTarnwatchDlg::ScheduleChanged() {
    const ScheduleView& v = engine_->Scheduler().View();
    ui_->clockText->setText(QString::fromLocal8Bit(v.clock));
    QLineEdit* countdowns[4] = {nullptr, ui_->lowCountdown, ui_->mediumCountdown,
                                ui_->highCountdown};
    QLineEdit* times[4] = {nullptr, ui_->lowNextTime, ui_->mediumNextTime, ui_->highNextTime};
    for (int c = kFrequencyLow; c <= kFrequencyHigh; ++c) {
        const auto i = static_cast<std::size_t>(c);
        countdowns[c]->setText(QString::fromLocal8Bit(v.countdown[i]));
        countdowns[c]->setEnabled(v.enabled[i]);
        times[c]->setText(QString::fromLocal8Bit(v.nextTime[i]));
        times[c]->setEnabled(v.enabled[i]);
    }
    ui_->timersOnButton->setChecked(v.timersOn);
    ui_->timersOffButton->setChecked(!v.timersOn);
    // Every pause and resume passes here.
    if (tray_) tray_->SetBusy(engine_->Busy());
}

void CTarnwatchDlg::RowVisited(int row) {
    // The row under test is selected, scrolled into view and painted at
    // once, with the outcome of the row before it.
    QTreeView* list = ui_->entryList;
    const QModelIndex index = model_->index(row, 0);
    // Selected at once; the focus follows when the pass has ended (moving
    // the current index costs more than a plain TCP test).
    list->selectionModel()->select(QItemSelection(index, model_->index(row, kColumnCount - 1)),
                                   QItemSelectionModel::ClearAndSelect);
    // A row below the visible ones brings a page of the rows that follow it
    // into view, rather than scrolling by one row per test.
    if (!list->viewport()->rect().contains(list->visualRect(index))) {
        list->scrollTo(index, QAbstractItemView::PositionAtTop);
    }
    QRect area = list->visualRect(index);
    if (lastVisitedRow_ >= 0 && lastVisitedRow_ < model_->rowCount()) {
        area = area.united(list->visualRect(model_->index(lastVisitedRow_, 0)));
    }
    lastVisitedRow_ = row;
    area.setLeft(0);
    area.setRight(list->viewport()->width());
    // Painting every row of a fast pass would cost more than the tests; a
    // row is painted at once unless one was painted within the last frame,
    // and then with the next frame.
    if (!repaintClock_.isValid() || repaintClock_.elapsed() >= 16) {
        list->viewport()->repaint(area);
        repaintClock_.start();
    } else {
        list->viewport()->update(area);
    }
}

void CTarnwatchDlg::SetMetricsOutput(std::unique_ptr<MetricsOutput> metrics) {
    metrics_ = std::move(metrics);
    if (metrics_ && !engine_->ShutdownDone()) metrics_->Publish(*engine_);
}

void CTarnwatchDlg::PassEnded() {
    if (metrics_) metrics_->PublishSoon(*engine_);
}

void CTarnwatchDlg::TrayIconChanged(bool shown) {
    if (!shown) {
        tray_.reset();
        return;
    }
    if (tray_) return;
    tray_ = std::make_unique<NotificationIcon>();
    ShowIconState();
    tray_->SetExitOffered(!engine_->Settings().disableClose);
    tray_->SetBusy(engine_->Busy());
    connect(tray_.get(), &NotificationIcon::openRequested, this, [this] { windowPort_->Show(); });
    connect(tray_.get(), &NotificationIcon::updateAllRequested, this,
            [this] { engine_->OnUpdateAll(); });
    connect(tray_.get(), &NotificationIcon::globalOptionsRequested, this,
            [this] { engine_->OnGlobalOptions(); });
    connect(tray_.get(), &NotificationIcon::exportListRequested, this,
            [this] { ExportListFromWindow(this, *engine_); });
    connect(tray_.get(), &NotificationIcon::importListRequested, this,
            [this] { ImportListFromWindow(this, *engine_); });
    connect(tray_.get(), &NotificationIcon::aboutRequested, this, &CTarnwatchDlg::ShowAbout);
    connect(tray_.get(), &NotificationIcon::exitRequested, this, [this] {
        // The same rule as the window's Close.
        if (!engine_->Settings().disableClose) CloseProgram();
    });
    connect(tray_.get(), &NotificationIcon::pauseRequested, this,
            [this](qint64 seconds) { engine_->PauseAlerts(seconds); });
    connect(tray_.get(), &NotificationIcon::resumeRequested, this,
            [this] { engine_->ResumeAlerts(); });
    connect(tray_.get(), &NotificationIcon::hostLost, this, [this] {
        if (isHidden()) windowPort_->Show();
    });
}

void CTarnwatchDlg::ShowIconState() {
    std::string tip = engine_->ToolTip();
    if (const std::string silenced = engine_->SilenceTip(); !silenced.empty()) {
        tip += '\n' + silenced;
    }
    tray_->SetToolTip(QString::fromLocal8Bit(tip));
    tray_->SetPaused(engine_->AlertsPausedNow());
    tray_->SetLevel(engine_->OverallLevel());
}

void CTarnwatchDlg::CloseRequested() {
    // From the event loop, once whatever asked for it has returned.
    QMetaObject::invokeMethod(this, &CTarnwatchDlg::CloseProgram, Qt::QueuedConnection);
}

void CTarnwatchDlg::ColumnsShown(std::array<std::int32_t, kColumnCount>& positions,
                                 std::array<std::int32_t, kColumnCount>& widths) const {
    const QHeaderView* header = ui_->entryList->header();
    for (int c = 0; c < kColumnCount; ++c) {
        positions[static_cast<std::size_t>(c)] = header->visualIndex(c);
        widths[static_cast<std::size_t>(c)] = header->sectionSize(c);
    }
}

void CTarnwatchDlg::CloseProgram() {
    if (ended_) return;
    pump_.SetClosing();
    if (engine_->Busy()) {
        // Something waits inside a pass, a sheet or a message: the shutdown
        // must not free the list under it. Every wait gives up, every open
        // window ends as if cancelled, and the last of them to unwind asks
        // for the close again.
        engine_->RequestClose();
        EndModalWindows(this);
        closeSweep_.start();
        return;
    }
    closeSweep_.stop();
    if (!engine_->ShutdownDone()) {
        std::array<std::int32_t, kColumnCount> positions{};
        std::array<std::int32_t, kColumnCount> widths{};
        ColumnsShown(positions, widths);
        engine_->Shutdown(positions, widths);
    }
    ended_ = true;
    hide();
    // The program's life is the application's event loop; this is the one
    // place that ends it. Outside any loop there is none to end, and the
    // request would stay behind to end the next loop at once.
    if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(0);
}

void CTarnwatchDlg::SaveForSession() {
    std::array<std::int32_t, kColumnCount> positions{};
    std::array<std::int32_t, kColumnCount> widths{};
    ColumnsShown(positions, widths);
    engine_->SaveForSession(positions, widths);
}

void CTarnwatchDlg::closeEvent(QCloseEvent* event) {
    if (engine_->IsClosing()) {
        event->accept();
        return;
    }
    event->ignore();
    if (engine_->OnCancel()) return;
    if (engine_->Settings().disableClose) return;
    CloseProgram();
}

void CTarnwatchDlg::reject() {
    // Esc or Cancel stop a sound; they end the window only during shutdown.
    if (engine_->OnCancel()) QDialog::reject();
}

void CTarnwatchDlg::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized()) {
        engine_->OnCancel();
        // Minimising hides the window behind its notification icon.
        if (windowPort_->CanHide()) {
            setWindowState(windowState() & ~Qt::WindowMinimized);
            windowPort_->Hide();
        }
    }
}

void CTarnwatchDlg::ShowAbout() {
    engine_->OnCancel();
    if (engine_->Busy() || engine_->ShutdownDone()) return;
    engine_->PauseSchedule();
    QMessageBox box(this);
    box.setWindowTitle(TableText(IDS_ABOUT_TITLE));
    box.setIconPixmap(LogoPixmap());
    box.setText(TableText(IDS_VERSION_LINE));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    engine_->ResumeSchedule();
}

}  // namespace tarnwatch
