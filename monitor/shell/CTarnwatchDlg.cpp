// The main window.
#include "shell/CTarnwatchDlg.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

#include "engine/SystemClock.h"
#include "res/StringTable.h"
#include "shell/Pictures.h"
#include "ui_TarnwatchDlg.h"

namespace tarnwatch {

CTarnwatchDlg::CTarnwatchDlg(SettingsStore* store, Clock* clock, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TarnwatchDlg>()) {
    if (!clock) {
        ownClock_ = std::make_unique<SystemClock>();
        clock = ownClock_.get();
    }
    ui_->setupUi(this);
    setWindowTitle(QString::fromLatin1(LoadString(IDS_APP_NAME)));
    setWindowIcon(ProgramIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    messageBox_ = std::make_unique<QtMessageBox>(this);
    windowPort_ = std::make_unique<QtWindowPort>(this);
    sound_ = std::make_unique<CanberraSound>();

    Ports ports;
    ports.clock = clock;
    ports.timers = &timers_;
    ports.pump = &pump_;
    ports.messageBox = messageBox_.get();
    ports.waitCursor = &waitCursor_;
    ports.window = windowPort_.get();
    ports.sound = sound_.get();
    engine_ = std::make_unique<MonitorEngine>(ports, store);
    engine_->SetObserver(this);
    model_ = std::make_unique<RowsModel>(*engine_);

    ui_->statusPicture->setPixmap(OverallStatusPixmap(engine_->OverallLevel()));
    ui_->logoPicture->setPixmap(ProgramIcon().pixmap(48, 48));
    connect(ui_->aboutButton, &QPushButton::clicked, this, &CTarnwatchDlg::ShowAbout);
    connect(ui_->updateButton, &QPushButton::clicked, this, [this] { engine_->OnUpdate(); });
    connect(ui_->updateAllButton, &QPushButton::clicked, this, [this] { engine_->OnUpdateAll(); });
    connect(ui_->timersOnButton, &QRadioButton::clicked, this, [this] { engine_->OnTimersOn(); });
    connect(ui_->timersOffButton, &QRadioButton::clicked, this, [this] { engine_->OnTimersOff(); });
    connect(ui_->entryList, &QTreeView::clicked, this, [this](const QModelIndex& index) {
        engine_->OnSelect(index.isValid() ? index.row() : -1);
    });

    // The window's start-up: the settings come first, then the list is built
    // with the stored columns, then the list file fills it and the schedule
    // starts.
    engine_->ReadSettings();
    if (engine_->Settings().disableClose) {
        setWindowFlag(Qt::WindowCloseButtonHint, false);
    }
    BuildList();
    engine_->Initialise();
    StateChanged();
    ScheduleChanged();
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
    for (int c = 0; c < kColumnCount; ++c) {
        header->resizeSection(c, std::max(0, s.columnWidth[static_cast<std::size_t>(c)]));
    }
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

void CTarnwatchDlg::StateChanged() {
    const ButtonStates& b = engine_->Buttons();
    // Adding, editing, removing and moving entries and the Global Options
    // sheet do not exist in this program yet: their buttons stay disabled
    // rather than do nothing when pressed.
    constexpr bool kListOperationsBuilt = false;
    ui_->addButton->setEnabled(kListOperationsBuilt && b.add);
    ui_->removeButton->setEnabled(kListOperationsBuilt && b.remove);
    ui_->editButton->setEnabled(kListOperationsBuilt && b.edit);
    ui_->moveUpButton->setEnabled(kListOperationsBuilt && b.moveUp);
    ui_->moveDownButton->setEnabled(kListOperationsBuilt && b.moveDown);
    ui_->globalOptionsButton->setEnabled(kListOperationsBuilt);
    ui_->updateButton->setEnabled(b.update);
    ui_->statusPicture->setPixmap(OverallStatusPixmap(engine_->OverallLevel()));
    if (tray_) tray_->setToolTip(QString::fromLocal8Bit(engine_->ToolTip()));
    const int selected = engine_->Entries().selectedRow;
    if (selected >= 0 && selected < model_->rowCount()) {
        ui_->entryList->setCurrentIndex(model_->index(selected, 0));
    }
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

void CTarnwatchDlg::TrayIconChanged(bool shown) {
    if (!shown) {
        tray_.reset();
        return;
    }
    if (tray_) return;
    tray_ = std::make_unique<QSystemTrayIcon>(ProgramIcon());
    tray_->setToolTip(QString::fromLocal8Bit(engine_->ToolTip()));
    auto* menu = new QMenu(this);
    menu->addAction(QString::fromLatin1(LoadString(IDS_ABOUTBOX)), this, &CTarnwatchDlg::ShowAbout);
    tray_->setContextMenu(menu);
    connect(tray_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) windowPort_->Show();
            });
    tray_->show();
}

void CTarnwatchDlg::CloseRequested() {
    // From the event loop, once whatever asked for it has returned.
    QMetaObject::invokeMethod(this, &CTarnwatchDlg::CloseProgram, Qt::QueuedConnection);
}

void CTarnwatchDlg::CloseProgram() {
    if (engine_->InPass()) {
        // A test is waiting inside the pass: the shutdown must not free the
        // list under it. The pass stops and asks again when it has unwound.
        engine_->RequestClose();
        return;
    }
    if (!engine_->ShutdownDone()) {
        std::array<std::int32_t, kColumnCount> positions{};
        std::array<std::int32_t, kColumnCount> widths{};
        QHeaderView* header = ui_->entryList->header();
        for (int c = 0; c < kColumnCount; ++c) {
            positions[static_cast<std::size_t>(c)] = header->visualIndex(c);
            widths[static_cast<std::size_t>(c)] = header->sectionSize(c);
        }
        engine_->Shutdown(positions, widths);
    }
    // The shutdown marked the window as closing, so Cancel may now end it.
    reject();
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
        if (QSystemTrayIcon::isSystemTrayAvailable()) {
            setWindowState(windowState() & ~Qt::WindowMinimized);
            windowPort_->Hide();
        }
    }
}

void CTarnwatchDlg::ShowAbout() {
    engine_->OnCancel();
    engine_->PauseSchedule();
    QMessageBox box(this);
    box.setWindowTitle(QString::fromLatin1(LoadString(IDS_ABOUT_TITLE)));
    box.setIconPixmap(ProgramIcon().pixmap(32, 32));
    box.setText(QString::fromLatin1(LoadString(IDS_VERSION_LINE)));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    engine_->ResumeSchedule();
}

}  // namespace tarnwatch
