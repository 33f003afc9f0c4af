// Memory manager: placement, enlargement, release and the whole-family reset.
#include "quillongen/mem.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr unsigned kGranule = 65536;

bool allZero(const void* p, size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; ++i)
        if (b[i] != 0) return false;
    return true;
}

class MemTest : public ::testing::Test {
protected:
    void SetUp() override { mem_deallocate(nullptr); }
    void TearDown() override { mem_deallocate(nullptr); }
};

TEST_F(MemTest, SmallRequestsRoundToUnitsAndNeverShrink) {
    void* p = nullptr;
    EXPECT_EQ(mem_reallocate(&p, 1), 8);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(allZero(p, 8));
    void* before = p;
    EXPECT_EQ(mem_reallocate(&p, 5), 8);
    EXPECT_EQ(p, before);
    EXPECT_EQ(mem_reallocate(&p, 0), 8);  // a known block keeps its size

    void* none = nullptr;
    EXPECT_EQ(mem_reallocate(&none, 0), 0);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(mem_reallocate(nullptr, 8), 0);
}

TEST_F(MemTest, FreedHoleIsReusedFirstFit) {
    void *a = nullptr, *b = nullptr, *c = nullptr;
    mem_reallocate(&a, 8);
    mem_reallocate(&b, 16);
    mem_reallocate(&c, 8);
    ASSERT_EQ(static_cast<char*>(b), static_cast<char*>(a) + 8);
    ASSERT_EQ(static_cast<char*>(c), static_cast<char*>(b) + 16);
    std::memset(b, 0xAB, 16);
    void* holeAddress = b;
    mem_deallocate(&b);
    EXPECT_EQ(b, nullptr);

    void* tooBig = nullptr;
    mem_reallocate(&tooBig, 24);  // does not fit the 16-byte hole
    EXPECT_EQ(tooBig, static_cast<char*>(c) + 8);
    void* fits = nullptr;
    mem_reallocate(&fits, 9);  // 16 bytes: exactly the hole, zeroed again
    EXPECT_EQ(fits, holeAddress);
    EXPECT_TRUE(allZero(fits, 16));
}

TEST_F(MemTest, EnlargementStaysInPlaceWhenFollowingUnitsAreFree) {
    void* p = nullptr;
    mem_reallocate(&p, 8);
    std::memcpy(p, "ABCDEFG", 8);
    void* before = p;
    EXPECT_EQ(mem_reallocate(&p, 40), 40);
    EXPECT_EQ(p, before);
    EXPECT_STREQ(static_cast<char*>(p), "ABCDEFG");
    EXPECT_TRUE(allZero(static_cast<char*>(p) + 8, 32));
}

TEST_F(MemTest, EnlargementMovesWhenBlockedAndKeepsContent) {
    void *p = nullptr, *blocker = nullptr;
    mem_reallocate(&p, 16);
    mem_reallocate(&blocker, 8);
    std::memcpy(p, "0123456789abcde", 16);
    std::memset(blocker, 0x5A, 8);
    char* old = static_cast<char*>(p);
    ASSERT_EQ(static_cast<char*>(blocker), old + 16);

    EXPECT_EQ(mem_reallocate(&p, 100), 104);
    EXPECT_NE(p, old);
    EXPECT_STREQ(static_cast<char*>(p), "0123456789abcde");
    EXPECT_TRUE(allZero(static_cast<char*>(p) + 16, 88));
    EXPECT_TRUE(allZero(old, 16));  // the old place is wiped
    unsigned char expect[8];
    std::memset(expect, 0x5A, 8);
    EXPECT_EQ(std::memcmp(blocker, expect, 8), 0);

    // The old place is free again for the next small block.
    void* next = nullptr;
    mem_reallocate(&next, 16);
    EXPECT_EQ(next, old);
}

TEST_F(MemTest, FreeRunEndingAtTheLastUnitOfABufferIsFound) {
    // A buffer of one granule with all but its last three units taken: the last
    // run starts in the middle of the bitmap's final byte.
    void* head = nullptr;
    mem_reallocate(&head, kGranule - 24);
    void* tail = nullptr;
    mem_reallocate(&tail, 24);
    EXPECT_EQ(tail, static_cast<char*>(head) + kGranule - 24);
    void* other = nullptr;  // the buffer is now full: a new one is used
    mem_reallocate(&other, 8);
    EXPECT_TRUE(other < head || other >= static_cast<char*>(head) + kGranule);
}

TEST_F(MemTest, GranuleSizedBlocksGetBuffersOfWholeGranules) {
    void* one = nullptr;
    EXPECT_EQ(mem_reallocate(&one, kGranule), static_cast<long>(kGranule));
    std::memset(one, 1, kGranule);
    // Its buffer is exactly one granule: growing by a unit has to move it.
    char* oneBefore = static_cast<char*>(one);
    EXPECT_EQ(mem_reallocate(&one, kGranule + 8), static_cast<long>(kGranule + 8));
    EXPECT_NE(one, oneBefore);
    EXPECT_EQ(static_cast<unsigned char*>(one)[kGranule - 1], 1);
    EXPECT_EQ(static_cast<unsigned char*>(one)[kGranule], 0);

    void* two = nullptr;
    EXPECT_EQ(mem_reallocate(&two, kGranule + 1), static_cast<long>(kGranule + 8));
    // Its buffer is two granules: it can grow to fill it without moving.
    char* twoBefore = static_cast<char*>(two);
    EXPECT_EQ(mem_reallocate(&two, 2 * kGranule), static_cast<long>(2 * kGranule));
    EXPECT_EQ(two, twoBefore);
    EXPECT_GE(mem_getMemSize(two), static_cast<long>(2 * kGranule));
}

TEST_F(MemTest, UnknownPointersAreLeftAlone) {
    long local = 42;
    void* stranger = &local;
    mem_deallocate(&stranger);
    EXPECT_EQ(stranger, &local);
    EXPECT_EQ(local, 42);
    // reallocate treats it as null: a new block, the stranger's memory untouched.
    EXPECT_EQ(mem_reallocate(&stranger, 8), 8);
    EXPECT_NE(stranger, &local);
    EXPECT_EQ(local, 42);
}

TEST_F(MemTest, DeallocateAllForgetsEveryBlock) {
    void *a = nullptr, *b = nullptr;
    mem_reallocate(&a, 8);
    mem_reallocate(&b, 3 * kGranule);
    mem_deallocate(nullptr);
    EXPECT_NE(a, nullptr);  // callers' variables are not touched
    void* stale = a;
    mem_deallocate(&stale);  // no longer a block of the family
    EXPECT_EQ(stale, a);
    void* fresh = nullptr;
    EXPECT_EQ(mem_reallocate(&fresh, 8), 8);
    EXPECT_TRUE(allZero(fresh, 8));
}

TEST_F(MemTest, GetMemSizeReportsTheMappingFromTheAddressPage) {
    void* p = nullptr;
    mem_reallocate(&p, 8);
    const long size = mem_getMemSize(p);
    EXPECT_GE(size, 4096);
    EXPECT_EQ(size % 4096, 0);
    int onStack = 0;
    EXPECT_GT(mem_getMemSize(&onStack), 0);
    EXPECT_EQ(mem_getMemSize(nullptr), 0);
    EXPECT_FLOAT_EQ(mem_versionNumber(), 1.04f);
}

TEST_F(MemTest, ChurnKeepsBlocksApartAndTheirContentIntact) {
    struct Held {
        void* p = nullptr;
        long size = 0;
        unsigned char tag = 0;
    };
    std::vector<Held> held(600);
    std::mt19937 rng(7);
    auto fill = [](Held& h) { std::memset(h.p, h.tag, static_cast<size_t>(h.size)); };
    auto intact = [](const Held& h) {
        const auto* b = static_cast<const unsigned char*>(h.p);
        for (long i = 0; i < h.size; ++i)
            if (b[i] != h.tag) return false;
        return true;
    };
    for (int round = 0; round < 6000; ++round) {
        Held& h = held[rng() % held.size()];
        const unsigned op = rng() % 4;
        if (h.p != nullptr && op == 0) {
            ASSERT_TRUE(intact(h)) << "round " << round;
            mem_deallocate(&h.p);
            ASSERT_EQ(h.p, nullptr);
            h.size = 0;
        } else {
            const unsigned want = rng() % 4 == 0 ? 1 + rng() % 100000 : 1 + rng() % 300;
            const long oldSize = h.size;
            if (h.p != nullptr) {
                ASSERT_TRUE(intact(h)) << "round " << round;
            }
            const long got = mem_reallocate(&h.p, want);
            ASSERT_GE(got, static_cast<long>(want));
            ASSERT_EQ(got % 8, 0);
            if (oldSize > 0) {
                // old content kept, the new part zero
                const auto* b = static_cast<const unsigned char*>(h.p);
                for (long i = 0; i < oldSize; ++i) ASSERT_EQ(b[i], h.tag);
                ASSERT_TRUE(allZero(b + oldSize, static_cast<size_t>(got - oldSize)));
            } else {
                ASSERT_TRUE(allZero(h.p, static_cast<size_t>(got)));
            }
            h.size = got;
            h.tag = static_cast<unsigned char>(1 + rng() % 255);
            fill(h);
        }
    }
    for (Held& h : held) {
        if (h.p == nullptr) continue;
        EXPECT_TRUE(intact(h));
        mem_deallocate(&h.p);
    }
}

TEST_F(MemTest, EveryLiveBlockStaysKnownWhileTheDataSpaceGrowsAndSlotsAreReused) {
    // 10,000 blocks outgrow two granules of slots; every third is released
    // and as many new ones take the freed places.
    std::vector<void*> blocks(10000, nullptr);
    for (void*& p : blocks) ASSERT_EQ(mem_reallocate(&p, 8), 8);
    std::vector<void*> freed;
    for (size_t i = 0; i < blocks.size(); i += 3) {
        freed.push_back(blocks[i]);
        mem_deallocate(&blocks[i]);
        ASSERT_EQ(blocks[i], nullptr);
    }
    for (void* hole : freed) {
        void* p = nullptr;
        ASSERT_EQ(mem_reallocate(&p, 8), 8);
        EXPECT_EQ(p, hole);  // first fit: the holes in the order they were made
        EXPECT_TRUE(allZero(p, 8));
        blocks.push_back(p);
    }
    // Each live block is still found: same place and size, and its release
    // clears the caller's pointer.
    for (void*& p : blocks) {
        if (p == nullptr) continue;
        void* before = p;
        ASSERT_EQ(mem_reallocate(&p, 8), 8);
        ASSERT_EQ(p, before);
        mem_deallocate(&p);
        ASSERT_EQ(p, nullptr);
    }
    void* stale = freed.back();
    mem_deallocate(&stale);  // released twice: no longer known
    EXPECT_EQ(stale, freed.back());
}

#if !defined(__SANITIZE_ADDRESS__)
TEST(MemDeathTest, PlatformRefusalIsFatalWithItsReport) {
    auto exhaust = [] {
        struct rlimit limit = {1u << 30, 1u << 30};
        setrlimit(RLIMIT_AS, &limit);
        void* p = nullptr;
        mem_reallocate(&p, 8);
        mem_reallocate(&p, 0xFFFFFFF0u);
    };
    EXPECT_EXIT(
        exhaust(), ::testing::ExitedWithCode(0),
        "mem_getMemBuffer(.|\n)*FATAL CONDITION(.|\n)*2002(.|\n)*Can not allocate more Virtual "
        "Memory");
}

// The Data Space holds 4,096 slots before it first grows: the last of them
// and every slot freed again need no memory; one slot more does, and a
// refusal then is fatal with the Data Space's own report.
TEST(MemDeathTest, DataSpaceGrowsOnlyPastItsLastSlot) {
    auto fill = [] {
        std::vector<void*> blocks(4095, nullptr);
        for (void*& p : blocks) mem_reallocate(&p, 8);
        // No mapping may be added from here on.
        long pages = 0;
        if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
            std::fclose(statm);
        }
        const rlim_t now = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
        struct rlimit limit = {now + 48 * 1024, now + 48 * 1024};
        setrlimit(RLIMIT_AS, &limit);
        for (int i : {5, 6, 4000}) mem_deallocate(&blocks[static_cast<size_t>(i)]);
        for (int i : {5, 6, 4000}) mem_reallocate(&blocks[static_cast<size_t>(i)], 8);
        void* last = nullptr;
        if (mem_reallocate(&last, 8) == 8) std::fputs("all slots held\n", stderr);
        void* onePast = nullptr;
        mem_reallocate(&onePast, 8);
    };
    EXPECT_EXIT(fill(), ::testing::ExitedWithCode(0),
                "all slots held(.|\n)*mem_reallocate(.|\n)*FATAL CONDITION(.|\n)*2002(.|\n)*"
                "Can not enlarge the Data Space");
}
#endif

}  // namespace
