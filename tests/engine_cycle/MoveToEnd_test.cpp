// Failed entries moved to the end of the list during a pass: the order, the
// rows, the row events and the saved list, over two passes whose failures
// lie apart, side by side and on the last row.
#include "CycleFixture.h"

namespace tarnwatch::cycle {
namespace {

class MoveRecorder final : public EngineObserver {
public:
    void RowsReset() override { events.push_back("reset"); }
    void RowChanged(int) override {}
    void RowMoved(int from, int to) override {
        events.push_back("moved " + std::to_string(from) + ">" + std::to_string(to));
    }
    void RowTested(int row) override { events.push_back("tested " + std::to_string(row)); }
    void StateChanged() override {}
    void TrayIconChanged(bool) override {}
    void CloseRequested() override {}
    std::vector<std::string> events;
};

using Texts = std::vector<std::string>;

class MoveToEnd : public CycleTest {
protected:
    // Each row's address, Status cell and image, and its record's row.
    Texts Shown() {
        Texts out;
        for (int r = 0; r < engine->Entries().rowCount; ++r) {
            out.push_back(Row(r).cells[kColAddress] + " " + Status(r) + " " +
                          std::to_string(Row(r).image) + " " + std::to_string(Record(r).row));
        }
        return out;
    }
    // The saved list: each record's address and row field, in file order.
    Texts Saved() {
        const auto bytes = fakes::ReadBytes(dir / "Tarnwatch.ini");
        Texts out;
        for (std::size_t at = 8; at + 1912 <= bytes.size(); at += 1912) {
            out.push_back(std::string(reinterpret_cast<const char*>(&bytes[at + 280])) + " " +
                          std::to_string(fakes::IntAt(bytes, at + 800)));
        }
        return out;
    }
};

TEST_F(MoveToEnd, PassKeepsOrderRowsEventsAndTheListFile) {
    std::vector<EntryBytes> entries;
    for (const char* name : {"a", "b", "c", "d", "e", "f", "g", "h"})
        entries.push_back(EntryBytes(kSourceProgram, Probe(name), name).Attempts(1));
    Start(entries, [](GlobalSettings& s) { s.autoMove = 1; });
    MoveRecorder recorder;
    engine->SetObserver(&recorder);

    // b alone, d and e side by side, and h on the last row fail.
    for (const char* name : {"b", "d", "e", "h"}) SetCode(name, "3");
    Pass();
    EXPECT_EQ(TakeLog(), (Texts{"a", "b", "c", "d", "e", "f", "g", "h"}));
    EXPECT_EQ(recorder.events,
              (Texts{"tested 0", "moved 1>7", "tested 7", "tested 1", "moved 2>7", "tested 7",
                     "moved 2>7", "tested 7", "tested 2", "tested 3", "moved 4>7", "tested 7"}));
    // 2: the image of a local entry that answers; 6: of one that failed.
    EXPECT_EQ(Shown(),
              (Texts{"a succeeded 2 0", "c succeeded 2 1", "f succeeded 2 2", "g succeeded 2 3",
                     "b failed 6 4", "d failed 6 5", "e failed 6 6", "h failed 6 7"}));

    // The first row and one in the middle fail; the others answer again.
    recorder.events.clear();
    for (const char* name : {"b", "d", "e", "h"}) SetCode(name, "0");
    for (const char* name : {"a", "g"}) SetCode(name, "3");
    Pass();
    EXPECT_EQ(TakeLog(), (Texts{"a", "c", "f", "g", "b", "d", "e", "h"}));
    EXPECT_EQ(recorder.events, (Texts{"moved 0>7", "tested 7", "tested 0", "tested 1", "moved 2>7",
                                      "tested 7", "tested 2", "tested 3", "tested 4", "tested 5"}));
    EXPECT_EQ(Shown(),
              (Texts{"c succeeded 2 0", "f succeeded 2 1", "b succeeded 2 2", "d succeeded 2 3",
                     "e succeeded 2 4", "h succeeded 2 5", "a failed 6 6", "g failed 6 7"}));

    engine->Shutdown({}, {});
    EXPECT_EQ(Saved(), (Texts{"c 0", "f 1", "b 2", "d 3", "e 4", "h 5", "a 6", "g 7"}));
}

}  // namespace
}  // namespace tarnwatch::cycle
