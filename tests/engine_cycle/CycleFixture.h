// Runs the monitor's controller over a list file written byte by byte, with
// entries whose tests are small shell scripts the test steers between passes
// (exit code from a file, a log line per run) and alert commands that leave
// marker lines, so each case can tell exactly what ran and when.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/MonitorEngine.h"
#include "fakes/FakePorts.h"
#include "fakes/ListFileBytes.h"
#include "fakes/TempDir.h"

namespace tarnwatch::cycle {

// One list-file record, set field by field at the record's own offsets.
class EntryBytes {
public:
    EntryBytes(std::int32_t kind, const std::string& source, const std::string& address)
        : r_(1912) {
        static constexpr std::int32_t kTestByKind[] = {7, 14, 21, 17};
        r_.Int(0, kind).Text(4, source).Text(260, "10").Text(280, address).Text(540, address);
        r_.Int(536, 1).Int(796, kind >= 0 && kind < 4 ? kTestByKind[kind] : 0);
        r_.Int(1880, 1).Int(1904, kFrequencyHigh);
        r_.Int(1888, 0).Int(1892, 0);  // own alert halves, silent until set
    }
    EntryBytes& Timeout(const std::string& seconds) {
        return r_.Text(260, std::string(20, '\0')).Text(260, seconds), *this;
    }
    EntryBytes& Enabled(std::int32_t v) { return r_.Int(536, v), *this; }
    EntryBytes& ServiceTest(std::int32_t v) { return r_.Int(796, v), *this; }
    EntryBytes& Attempts(std::int32_t v) { return r_.Int(1880, v), *this; }
    EntryBytes& Verify(std::int32_t v) { return r_.Int(1896, v), *this; }
    EntryBytes& Frequency(std::int32_t v) { return r_.Int(1904, v), *this; }
    EntryBytes& Description(const std::string& text) {
        return r_.Text(540, std::string(256, '\0')).Text(540, text), *this;
    }
    EntryBytes& CheckInternet(std::int32_t v) { return r_.Int(1908, v), *this; }
    EntryBytes& UseGlobal(std::int32_t sound, std::int32_t batch) {
        return r_.Int(1888, sound).Int(1892, batch), *this;
    }
    EntryBytes& Sound(std::int32_t mode, const std::string& failed, const std::string& okAgain,
                      std::int32_t onUnavailable = 1, std::int32_t onTimedOut = 1,
                      std::int32_t onUnresolved = 1) {
        r_.Int(804, onUnavailable).Int(808, onTimedOut).Int(812, onUnresolved).Int(816, mode);
        return r_.Text(824, failed).Text(1080, okAgain), *this;
    }
    EntryBytes& Batch(std::int32_t mode, const std::string& failed, const std::string& okAgain,
                      std::int32_t onUnavailable = 1, std::int32_t onTimedOut = 0,
                      std::int32_t onUnresolved = 0) {
        r_.Int(1336, onUnavailable).Int(1340, onTimedOut).Int(1344, onUnresolved);
        r_.Int(1348, mode).Text(1356, failed).Text(1612, okAgain);
        return r_.Int(1868, 1).Int(1872, 1), *this;  // wait, so the marks are there at once
    }
    const fakes::RawRecord& raw() const { return r_; }

private:
    fakes::RawRecord r_;
};

class NullStore final : public SettingsStore {
public:
    std::function<void(GlobalSettings&)> configure;
    void ReadSettings(GlobalSettings& s) override {
        if (configure) configure(s);
    }
    void WriteListAndAlertSettings(const GlobalSettings&) override {}
    void WriteRunOptions(const GlobalSettings&, int) override {}
};

class VisitRecorder final : public EngineObserver {
public:
    void RowsReset() override {}
    void RowChanged(int) override {}
    void StateChanged() override {}
    void RowVisited(int row) override { visited.push_back(row); }
    void RowTested(int row) override { tested.push_back(row); }
    void TrayIconChanged(bool) override {}
    void CloseRequested() override {}
    std::vector<int> visited;
    std::vector<int> tested;
};

class CycleTest : public ::testing::Test {
protected:
    CycleTest() {
        tzset();
        WriteScript("probe.sh",
                    "#!/bin/sh\n"
                    "d=$(dirname \"$0\")\n"
                    "echo \"$1\" >> \"$d/log\"\n"
                    "c=$(cat \"$d/$1.code\" 2>/dev/null || echo 0)\n"
                    "[ \"$c\" = sleep ] && exec sleep 5\n"
                    "exit \"$c\"\n");
        WriteScript("mark.sh",
                    "#!/bin/sh\n"
                    "echo \"$*\" >> \"$(dirname \"$0\")/marks\"\n");
    }

    // The source of a Return_value entry that runs the probe script as NAME.
    // The shell runs the line, so an exit code of 127 reads as a program that
    // could not be run ("unresolved"), 3 as "failed", 0 as "succeeded", and
    // "sleep" outlasts any short time-out.
    std::string Probe(const std::string& name) const {
        return dir / ("probe.sh " + name + "; exit $?");
    }
    // A command that appends its words (after macro expansion) to the marks.
    std::string Mark(const std::string& words) const { return dir / ("mark.sh " + words); }

    void SetCode(const std::string& name, const std::string& code) {
        std::ofstream(dir / (name + ".code"), std::ios::trunc) << code << "\n";
    }
    // Lines written since the last call, and the file emptied.
    std::vector<std::string> Take(const std::string& file) {
        std::vector<std::string> lines;
        std::ifstream in(dir / file);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        std::ofstream(dir / file, std::ios::trunc);
        return lines;
    }
    std::vector<std::string> TakeLog() { return Take("log"); }
    std::vector<std::string> TakeMarks() { return Take("marks"); }
    std::vector<std::string> TakeSounds() {
        auto played = platform->sound.played;
        platform->sound.played.clear();
        return played;
    }

    // Writes the list, builds the engine on fake ports and starts it. The
    // settings are quiet unless `configure` changes them: no sounds, no
    // commands, no moving or disabling, the Internet test on loopback, no
    // timed classes.
    void Start(const std::vector<EntryBytes>& entries,
               std::function<void(GlobalSettings&)> configure = nullptr, bool realClock = false) {
        std::vector<fakes::RawRecord> raw;
        for (const auto& e : entries) raw.push_back(e.raw());
        fakes::WriteBytes(dir / "Tarnwatch.ini",
                          fakes::ListFileImage(-2.2f, static_cast<int>(raw.size()), raw));
        store.configure = [configure](GlobalSettings& s) {
            s.autoMove = 0;
            s.autoDisable = 0;
            s.restore = 1;
            s.alerts.sound.soundMode = 0;
            s.alerts.batch.batchMode = 0;
            s.internetAddressCount = 1;
            CopyText(s.internetAddresses[0], "127.0.0.1");
            s.internetAlerts.sound.soundMode = 0;
            s.internetAlerts.batch.batchMode = 0;
            s.internetAlerts.messageBoxMode = 0;
            s.internetAlerts.messageBoxWhenAvailable = 0;
            if (configure) configure(s);
        };
        engine.reset();  // it holds the old platform's ports
        platform = std::make_unique<fakes::FakePlatform>(realClock);
        engine = std::make_unique<MonitorEngine>(platform->ports, &store);
        engine->SetObserver(&observer);
        engine->Initialise();
        observer.visited.clear();
        observer.tested.clear();
    }

    // "Update Al&l" pressed by the user.
    void Pass() { engine->OnUpdateAll(); }

    const RowView& Row(int row) const { return engine->Rows().at(static_cast<std::size_t>(row)); }
    const std::string& Status(int row) const { return Row(row).cells[kColStatus]; }
    ServiceItem& Record(int row) { return engine->EntriesForTesting().RecordAtRow(row); }
    // The record whose address is `address`, wherever its row is now.
    ServiceItem& Named(const std::string& address) {
        EntryCollection& c = engine->EntriesForTesting();
        for (int r = 0; r < c.rowCount; ++r) {
            if (address == c.RecordAtRow(r).address) return c.RecordAtRow(r);
        }
        ADD_FAILURE() << "no entry " << address;
        return c.RecordAtRow(0);
    }
    std::vector<std::string> Addresses() const {
        std::vector<std::string> out;
        for (const auto& row : engine->Rows()) out.push_back(row.cells[kColAddress]);
        return out;
    }
    // The Attempt cell an entry must show: the count, two blanks, its time.
    static std::string AttemptCell(const std::string& count, std::int32_t when) {
        time_t t = when;
        tm local{};
        char buf[64] = "";
        localtime_r(&t, &local);
        std::strftime(buf, sizeof buf, "  %H:%M:%S %d/%m/%y", &local);
        return count + buf;
    }

    fakes::TempDir dir;
    fakes::ScopedEnv home{"TARNWATCH_HOME", dir.path()};
    fakes::ScopedEnv config{"XDG_CONFIG_HOME", dir.path()};
    fakes::ScopedEnv data{"XDG_DATA_HOME", dir.path()};
    fakes::ScopedEnv tz{"TZ", "UTC"};
    NullStore store;
    VisitRecorder observer;
    std::unique_ptr<fakes::FakePlatform> platform;
    std::unique_ptr<MonitorEngine> engine;

    // An executable script in the test directory.
    void WriteScript(const std::string& name, const std::string& text) {
        std::ofstream(dir / name, std::ios::trunc) << text;
        chmod((dir / name).c_str(), 0755);
    }
};

}  // namespace tarnwatch::cycle
