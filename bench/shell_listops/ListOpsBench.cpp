// The list operations with 10,000 rows in the window, each measured from the
// command to the repainted list, beside a bare stable sort of the same 10,000
// key strings with the locale's comparison.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <QTreeView>
#include <algorithm>
#include <clocale>
#include <cstring>
#include <string>
#include <vector>

#include "fakes/ListFileBytes.h"
#include "fakes/QtApp.h"
#include "fakes/TempDir.h"
#include "shell/CTarnwatchDlg.h"

namespace {

using namespace tarnwatch;

constexpr int kEntries = 10000;

// The user fills in an address and presses OK at once.
class InstantSheets final : public SheetPort {
public:
    bool RunEntrySheet(ServiceItem& entry) override {
        CopyText(entry.address, "added.example");
        return true;
    }
    bool RunGlobalOptions(GlobalSettings&) override { return false; }
};

std::string Description(int i) {
    // Keys in no particular order, some repeated, as typed descriptions are.
    return "service " + std::to_string((i * 7919) % 5003);
}

struct Window {
    Window() {
        std::vector<fakes::RawRecord> records;
        for (int i = 0; i < kEntries; ++i) {
            fakes::RawRecord r(1912);
            r.Text(4, "80").Text(260, "10").Text(280, "host" + std::to_string(i) + ".example");
            r.Text(540, Description(i)).Int(536, 1).Int(796, 7).Int(1880, 3).Int(1904, 3);
            records.push_back(std::move(r));
        }
        fakes::WriteBytes(dir / "Tarnwatch.ini", fakes::ListFileImage(-2.2f, kEntries, records));
        dlg = std::make_unique<CTarnwatchDlg>(nullptr, nullptr, &sheets);
        dlg->show();
        list = dlg->findChild<QTreeView*>("entryList");
        list->viewport()->installEventFilter(&paints);
        Settle();
    }
    ~Window() { dlg->CloseProgram(); }
    // The view catches up and paints the rows it shows, once: the pending
    // layout and the window's update request are handled by the event loop.
    void Settle() {
        const int before = paints.count;
        QApplication::processEvents();
        if (paints.count == before) list->viewport()->repaint();
    }
    struct PaintCounter final : QObject {
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint) ++count;
            return false;
        }
        int count = 0;
    } paints;
    fakes::TempDir dir;
    fakes::ScopedEnv home{"TARNWATCH_HOME", dir.path()};
    fakes::ScopedEnv config{"XDG_CONFIG_HOME", dir.path()};
    InstantSheets sheets;
    std::unique_ptr<CTarnwatchDlg> dlg;
    QTreeView* list = nullptr;
};

QApplication& App() {
    std::setlocale(LC_COLLATE, "C.UTF-8");
    return fakes::App();
}

Window& TheWindow() {
    App();
    static Window w;
    return w;
}

void BM_BareStableSortStrcoll(benchmark::State& state) {
    App();
    std::vector<std::string> keys;
    for (int i = 0; i < kEntries; ++i) keys.push_back(Description(i));
    for (auto _ : state) {
        std::vector<std::string> work = keys;
        std::stable_sort(work.begin(), work.end(), [](const std::string& a, const std::string& b) {
            return std::strcoll(a.c_str(), b.c_str()) < 0;
        });
        benchmark::DoNotOptimize(work.data());
    }
}

void BM_HeaderClickSort(benchmark::State& state) {
    Window& w = TheWindow();
    for (auto _ : state) {
        w.dlg->Engine().OnSort(kColDescription);
        w.Settle();
    }
}

void BM_Move(benchmark::State& state) {
    Window& w = TheWindow();
    w.dlg->Engine().OnSelect(kEntries / 2);
    for (auto _ : state) {
        w.dlg->Engine().OnMoveDown();
        w.Settle();
        w.dlg->Engine().OnMoveUp();
        w.Settle();
    }
    state.SetItemsProcessed(state.iterations() * 2);
}

void BM_Remove(benchmark::State& state) {
    Window& w = TheWindow();
    for (auto _ : state) {
        w.dlg->Engine().OnSelect(kEntries / 2);
        w.dlg->Engine().OnRemove();
        w.Settle();
        state.PauseTiming();
        w.dlg->Engine().OnAdd();  // keep the list at its size
        w.Settle();
        state.ResumeTiming();
    }
}

void BM_Add(benchmark::State& state) {
    Window& w = TheWindow();
    for (auto _ : state) {
        w.dlg->Engine().OnAdd();
        w.Settle();
        state.PauseTiming();
        w.dlg->Engine().OnRemove();  // the new last row goes again
        w.Settle();
        state.ResumeTiming();
    }
}

BENCHMARK(BM_BareStableSortStrcoll)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HeaderClickSort)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Remove)->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK(BM_Move)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Add)->Unit(benchmark::kMillisecond)->Iterations(50);

}  // namespace

#include "fakes/OffscreenBenchMain.h"
