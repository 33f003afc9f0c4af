// QuillonGen memory manager. Blocks are carved out of data buffers that are
// whole granules of anonymous memory; each buffer has a bitmap with one bit per
// 8-byte unit (first unit in the high bit of the first byte). The Data Space is
// the table of blocks handed out; the Data Space Table lists the buffers with
// their bitmaps, back to back, ended by a record whose address is 0.
//
// Beside the slots, in the same mapping, the Data Space keeps two indexes so
// that no operation searches the slots: a three-level bitmap of the free
// slots (the lowest one is found in a few word operations) and a hash table
// from a block's address to its slot. Each buffer record keeps the lowest unit
// that may be free, so that first-fit placement skips the full part of a
// buffer at once.
#include "quillongen/mem.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "fatal_report.h"

namespace {

constexpr size_t kGranule = 65536;
constexpr size_t kUnit = 8;
constexpr size_t kBytesPerBitmapByte = kUnit * 8;
constexpr int kCodeNoMemory = 2002;
constexpr int kCodeNoRelease = 2008;

struct Slot {
    uintptr_t address;  // 0 when the slot is free
    long size;          // 0 when free, -1 when never used (which also ends the table)
};

// Header of one Data Space Table record; the bitmap follows it directly.
struct BufferRecord {
    uintptr_t address;  // 0 ends the table
    size_t bitmapBytes;
    size_t lowestFree;  // every unit below it is in use
    unsigned char* bitmap() { return reinterpret_cast<unsigned char*>(this + 1); }
    size_t bufferBytes() const { return bitmapBytes * kBytesPerBitmapByte; }
    bool holds(uintptr_t a) const { return a >= address && a < address + bufferBytes(); }
};
constexpr size_t kRecordHeader = sizeof(BufferRecord);

// The indexes of the Data Space, laid out behind the slots in one mapping.
struct SlotIndex {
    // Bit i of level 0 is set when slot i has been used and is free again;
    // a bit of level 1 is set when its word of level 0 is not zero, and a bit
    // of level 2 when its word of level 1 is not zero.
    uint64_t* level[3] = {nullptr, nullptr, nullptr};
    size_t words[3] = {0, 0, 0};
    // Open addressing with linear probing: slot number + 1 of a live block,
    // 0 for an empty place.
    uint32_t* places = nullptr;
    size_t placeMask = 0;
    size_t placeBits = 1;
};

struct MemState {
    bool initialised = false;
    Slot* slots = nullptr;
    size_t slotCapacity = 0;
    size_t slotsUsed = 0;   // high-water mark of slots handed out
    size_t spaceBytes = 0;  // the mapping of the slots and their indexes
    SlotIndex index;
    unsigned char* table = nullptr;
    size_t tableSize = 0;
};
MemState g;

constexpr size_t kNoRecord = SIZE_MAX;

size_t roundUp(size_t value, size_t multiple) {
    return (value + multiple - 1) / multiple * multiple;
}

void* mapRegion(size_t size) {
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

void unmapRegion(void* p, size_t size, const char* function) {
    if (munmap(p, size) != 0)
        quillongen::fatalReport(function, "Can not release Virtual Memory.", kCodeNoRelease);
}

// ---- bitmap -------------------------------------------------------------

bool unitInUse(const unsigned char* bm, size_t u) {
    return (bm[u >> 3] & (0x80u >> (u & 7))) != 0;
}

bool allBytesAre(const unsigned char* p, unsigned char value) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word == (value ? ~uint64_t{0} : uint64_t{0});
}

// True when k units from s lie inside the bitmap and none is in use.
bool runFree(const unsigned char* bm, size_t nbytes, size_t s, size_t k) {
    if (s > nbytes * 8 || k > nbytes * 8 - s) return false;
    size_t u = s;
    const size_t end = s + k;
    while (u < end) {
        if ((u & 7) == 0 && end - u >= 8) {
            if (bm[u >> 3] != 0) return false;
            u += 8;
        } else {
            if (unitInUse(bm, u)) return false;
            ++u;
        }
    }
    return true;
}

// Sets or clears k units from s, stopping at the end of the bitmap.
void setRun(unsigned char* bm, size_t nbytes, size_t s, size_t k, bool inUse) {
    const size_t total = nbytes * 8;
    const size_t end = s + k < total ? s + k : total;
    size_t u = s;
    while (u < end) {
        if ((u & 7) == 0 && end - u >= 8) {
            bm[u >> 3] = inUse ? 0xFF : 0x00;
            u += 8;
        } else {
            const unsigned char bit = static_cast<unsigned char>(0x80u >> (u & 7));
            bm[u >> 3] = inUse ? (bm[u >> 3] | bit) : (bm[u >> 3] & ~bit);
            ++u;
        }
    }
}

// First-fit: the lowest start of k free units, or -1, where every unit below
// `from` is known to be in use. Full bytes are skipped eight units at a time;
// a run may end at the very last unit.
long findRun(const unsigned char* bm, size_t nbytes, size_t k, size_t from) {
    const size_t total = nbytes * 8;
    size_t run = 0;
    size_t start = 0;
    size_t u = from / 8 * 8;
    while (u < total) {
        if ((u & 7) == 0) {
            size_t byte = u >> 3;
            if (run == 0) {
                while (byte + 8 <= nbytes && allBytesAre(bm + byte, 0xFF)) byte += 8;
                while (byte < nbytes && bm[byte] == 0xFF) ++byte;
                if (byte >= nbytes) break;
                u = byte * 8;
            }
            if (bm[byte] == 0) {
                if (run == 0) start = u;
                size_t step = 8;
                if (byte + 8 <= nbytes && allBytesAre(bm + byte, 0)) step = 64;
                run += step;
                if (run >= k) return static_cast<long>(start);
                u += step;
                continue;
            }
        }
        if (unitInUse(bm, u)) {
            run = 0;
        } else {
            if (run == 0) start = u;
            if (++run >= k) return static_cast<long>(start);
        }
        ++u;
    }
    return -1;
}

// Claims or clears k units from s of a buffer and keeps its lowest possibly
// free unit.
void useUnits(BufferRecord* rec, size_t s, size_t k) {
    setRun(rec->bitmap(), rec->bitmapBytes, s, k, true);
    if (s == rec->lowestFree) rec->lowestFree = s + k;
}

void freeUnits(BufferRecord* rec, size_t s, size_t k) {
    setRun(rec->bitmap(), rec->bitmapBytes, s, k, false);
    if (s < rec->lowestFree) rec->lowestFree = s;
}

// ---- Data Space Table ----------------------------------------------------

BufferRecord* recordAt(size_t off) {
    return reinterpret_cast<BufferRecord*>(g.table + off);
}
size_t nextRecord(size_t off) {
    return off + kRecordHeader + recordAt(off)->bitmapBytes;
}

size_t tableEnd() {
    size_t off = 0;
    while (recordAt(off)->address != 0) off = nextRecord(off);
    return off;
}

size_t recordHolding(uintptr_t a) {
    for (size_t off = 0; recordAt(off)->address != 0; off = nextRecord(off))
        if (recordAt(off)->holds(a)) return off;
    return kNoRecord;
}

// Grows the table by whole granules until `needed` bytes fit; the old content is
// copied and the old area released.
void growTable(size_t needed) {
    size_t newSize = roundUp(needed, kGranule);
    if (newSize < g.tableSize + kGranule) newSize = g.tableSize + kGranule;
    auto* fresh = static_cast<unsigned char*>(mapRegion(newSize));
    if (fresh == nullptr)
        quillongen::fatalReport(
            " mem_getMemBuffer",
            "Can not enlarge the Data Space Table.\nRunning low in virtual memory.", kCodeNoMemory);
    std::memcpy(fresh, g.table, g.tableSize);
    unmapRegion(g.table, g.tableSize, " mem_getMemBuffer");
    g.table = fresh;
    g.tableSize = newSize;
}

// Makes a data buffer for a block of blockSize bytes and returns its record's
// offset. The block is meant to start at unit 0.
size_t newBuffer(size_t blockSize) {
    const size_t bufferSize = roundUp(blockSize, kGranule);
    const size_t n = bufferSize / kBytesPerBitmapByte;
    const size_t end = tableEnd();
    if (end + kRecordHeader + n + kRecordHeader > g.tableSize)
        growTable(end + kRecordHeader + n + kRecordHeader);
    void* buffer = mapRegion(bufferSize);
    if (buffer == nullptr)
        quillongen::fatalReport(" mem_getMemBuffer", "Can not allocate more Virtual Memory.",
                                kCodeNoMemory);
    BufferRecord* rec = recordAt(end);
    rec->address = reinterpret_cast<uintptr_t>(buffer);
    rec->bitmapBytes = n;
    rec->lowestFree = 0;
    std::memset(rec->bitmap(), 0, n + kRecordHeader);  // bitmap and the end record behind it
    return end;
}

// Releases an emptied buffer when the block just cleared began at its first
// byte; the records behind it move down and the freed tail is zeroed.
void offerForRelease(size_t off, uintptr_t blockAddress, size_t blockSize) {
    BufferRecord* rec = recordAt(off);
    if (blockAddress != rec->address) return;
    if (roundUp(blockSize, kGranule) / kBytesPerBitmapByte > rec->bitmapBytes) return;
    const unsigned char* bm = rec->bitmap();
    for (size_t i = 0; i < rec->bitmapBytes; ++i)
        if (bm[i] != 0) return;
    unmapRegion(reinterpret_cast<void*>(rec->address), rec->bufferBytes(), " mem_deallocate");
    const size_t next = nextRecord(off);
    const size_t used = tableEnd() + kRecordHeader;
    std::memmove(g.table + off, g.table + next, used - next);
    std::memset(g.table + used - (next - off), 0, next - off);
}

// ---- Data Space ----------------------------------------------------------

constexpr size_t kSlotsPerGranule = kGranule / sizeof(Slot);

// Where the parts of a Data Space of `capacity` slots lie in its mapping.
struct SpaceLayout {
    size_t levelWords[3];
    size_t placeBits;  // the hash table has 2^placeBits places
    size_t bytes;
};

SpaceLayout layoutFor(size_t capacity) {
    SpaceLayout l{};
    l.levelWords[0] = (capacity + 63) / 64;
    l.levelWords[1] = (l.levelWords[0] + 63) / 64;
    l.levelWords[2] = (l.levelWords[1] + 63) / 64;
    // At most half full, so that probes stay short.
    l.placeBits = 1;
    while ((size_t{1} << l.placeBits) < 2 * capacity) ++l.placeBits;
    l.bytes = capacity * sizeof(Slot) +
              (l.levelWords[0] + l.levelWords[1] + l.levelWords[2]) * sizeof(uint64_t) +
              (size_t{1} << l.placeBits) * sizeof(uint32_t);
    return l;
}

// Points the indexes into a fresh (zero) mapping laid out by `l`.
void placeIndex(unsigned char* space, size_t capacity, const SpaceLayout& l) {
    unsigned char* at = space + capacity * sizeof(Slot);
    for (int k = 0; k < 3; ++k) {
        g.index.level[k] = reinterpret_cast<uint64_t*>(at);
        g.index.words[k] = l.levelWords[k];
        at += l.levelWords[k] * sizeof(uint64_t);
    }
    g.index.places = reinterpret_cast<uint32_t*>(at);
    g.index.placeMask = (size_t{1} << l.placeBits) - 1;
    g.index.placeBits = l.placeBits;
}

size_t homeOf(uintptr_t a) {
    return static_cast<size_t>(((uint64_t{a} >> 3) * 0x9E3779B97F4A7C15ull) >>
                               (64 - g.index.placeBits));
}

void indexBlock(size_t i) {
    size_t at = homeOf(g.slots[i].address);
    while (g.index.places[at] != 0) at = (at + 1) & g.index.placeMask;
    g.index.places[at] = static_cast<uint32_t>(i + 1);
}

// Takes slot i out of the hash table; the entries behind it that probed past
// its place move back, so that every probe still ends at an empty place.
void unindexBlock(size_t i) {
    const size_t mask = g.index.placeMask;
    size_t hole = homeOf(g.slots[i].address);
    while (g.index.places[hole] != i + 1) hole = (hole + 1) & mask;
    for (size_t at = (hole + 1) & mask; g.index.places[at] != 0; at = (at + 1) & mask) {
        const uint32_t v = g.index.places[at];
        const size_t home = homeOf(g.slots[v - 1].address);
        if (((at - home) & mask) >= ((at - hole) & mask)) {
            g.index.places[hole] = v;
            hole = at;
        }
    }
    g.index.places[hole] = 0;
}

void markSlotFree(size_t i, bool free) {
    uint64_t* const* level = g.index.level;
    const size_t w0 = i >> 6, w1 = w0 >> 6, w2 = w1 >> 6;
    if (free) {
        level[0][w0] |= uint64_t{1} << (i & 63);
        level[1][w1] |= uint64_t{1} << (w0 & 63);
        level[2][w2] |= uint64_t{1} << (w1 & 63);
        return;
    }
    level[0][w0] &= ~(uint64_t{1} << (i & 63));
    if (level[0][w0] != 0) return;
    level[1][w1] &= ~(uint64_t{1} << (w0 & 63));
    if (level[1][w1] != 0) return;
    level[2][w2] &= ~(uint64_t{1} << (w1 & 63));
}

// The lowest slot that was used and is free again, or SIZE_MAX. The top
// level has one word per 262,144 slots.
size_t lowestFreeSlot() {
    uint64_t* const* level = g.index.level;
    for (size_t w2 = 0; w2 < g.index.words[2]; ++w2) {
        if (level[2][w2] == 0) continue;
        const size_t w1 = w2 * 64 + static_cast<size_t>(__builtin_ctzll(level[2][w2]));
        const size_t w0 = w1 * 64 + static_cast<size_t>(__builtin_ctzll(level[1][w1]));
        return w0 * 64 + static_cast<size_t>(__builtin_ctzll(level[0][w0]));
    }
    return SIZE_MAX;
}

// Fills the indexes of a fresh mapping from the slots.
void rebuildIndex() {
    for (size_t i = 0; i < g.slotsUsed; ++i) {
        if (g.slots[i].size > 0) {
            indexBlock(i);
        } else if (g.slots[i].size == 0) {
            markSlotFree(i, true);
        }
    }
}

// The Data Space grows by a granule of slots; the slots are copied, the
// indexes rebuilt in the new mapping and the old mapping released.
void growSlots() {
    const size_t newCapacity = g.slotCapacity + kSlotsPerGranule;
    const SpaceLayout layout = layoutFor(newCapacity);
    auto* fresh = static_cast<unsigned char*>(mapRegion(layout.bytes));
    if (fresh == nullptr)
        quillongen::fatalReport(" mem_reallocate",
                                "Can not enlarge the Data Space.\nRunning low in virtual memory.",
                                kCodeNoMemory);
    std::memcpy(fresh, g.slots, g.slotCapacity * sizeof(Slot));
    unmapRegion(g.slots, g.spaceBytes, " mem_reallocate");
    auto* slots = reinterpret_cast<Slot*>(fresh);
    for (size_t i = g.slotCapacity; i < newCapacity; ++i) slots[i] = Slot{0, -1};
    g.slots = slots;
    g.slotCapacity = newCapacity;
    g.spaceBytes = layout.bytes;
    placeIndex(fresh, newCapacity, layout);
    rebuildIndex();
}

// The lowest free slot, else the next never-used one.
size_t takeSlot() {
    const size_t i = lowestFreeSlot();
    if (i != SIZE_MAX) {
        markSlotFree(i, false);
        return i;
    }
    if (g.slotsUsed == g.slotCapacity) growSlots();
    return g.slotsUsed++;
}

size_t findSlot(uintptr_t a) {
    for (size_t at = homeOf(a);; at = (at + 1) & g.index.placeMask) {
        const uint32_t v = g.index.places[at];
        if (v == 0) return SIZE_MAX;
        if (g.slots[v - 1].address == a) return v - 1;
    }
}

void initialise() {
    const SpaceLayout layout = layoutFor(kSlotsPerGranule);
    auto* space = static_cast<unsigned char*>(mapRegion(layout.bytes));
    if (space == nullptr)
        quillongen::fatalReport(
            " mem_initMemAlloc",
            "Can not initialize the Data Space.\nRunning low in virtual memory.", kCodeNoMemory);
    g.slots = reinterpret_cast<Slot*>(space);
    g.slotCapacity = kSlotsPerGranule;
    g.spaceBytes = layout.bytes;
    for (size_t i = 0; i < g.slotCapacity; ++i) g.slots[i] = Slot{0, -1};
    placeIndex(space, g.slotCapacity, layout);

    g.table = static_cast<unsigned char*>(mapRegion(kGranule));
    if (g.table == nullptr)
        quillongen::fatalReport(
            " mem_initMemAlloc",
            "Can not initialize the Data Space Table.\nRunning low in virtual memory.",
            kCodeNoMemory);
    g.tableSize = kGranule;

    void* first = mapRegion(kGranule);
    if (first == nullptr)
        quillongen::fatalReport(" mem_initMemAlloc",
                                "Can not allocate Data Buffer.\nRunning low in virtual memory.",
                                kCodeNoMemory);
    recordAt(0)->address = reinterpret_cast<uintptr_t>(first);
    recordAt(0)->bitmapBytes = kGranule / kBytesPerBitmapByte;
    recordAt(0)->lowestFree = 0;
    g.initialised = true;
}

struct Placement {
    size_t record;
    size_t unit;
    bool fresh;  // a new buffer: its memory is already zero
};

// Where a block of r bytes goes. Small blocks (and every moved block) take the
// first free run in table order; a block of a granule or more otherwise wants
// an empty buffer of exactly its rounded size.
Placement placeBlock(size_t r, bool anyBuffer) {
    const size_t units = r / kUnit;
    if (r < kGranule || anyBuffer) {
        for (size_t off = 0; recordAt(off)->address != 0; off = nextRecord(off)) {
            BufferRecord* rec = recordAt(off);
            const long s = findRun(rec->bitmap(), rec->bitmapBytes, units, rec->lowestFree);
            if (s >= 0) return {off, static_cast<size_t>(s), false};
        }
    } else {
        const size_t n = roundUp(r, kGranule) / kBytesPerBitmapByte;
        for (size_t off = 0; recordAt(off)->address != 0; off = nextRecord(off)) {
            BufferRecord* rec = recordAt(off);
            if (rec->bitmapBytes == n && runFree(rec->bitmap(), n, 0, units))
                return {off, 0, false};
        }
    }
    return {newBuffer(r), 0, true};
}

uintptr_t claim(const Placement& pl, size_t r) {
    BufferRecord* rec = recordAt(pl.record);
    useUnits(rec, pl.unit, r / kUnit);
    return rec->address + pl.unit * kUnit;
}

void enlarge(size_t slotIndex, size_t r) {
    const uintptr_t a = g.slots[slotIndex].address;
    const size_t size = static_cast<size_t>(g.slots[slotIndex].size);
    const size_t off = recordHolding(a);
    if (off == kNoRecord) return;  // cannot happen while the tables are intact
    const size_t s = (a - recordAt(off)->address) / kUnit;
    const size_t oldUnits = size / kUnit;
    const size_t extraUnits = (r - size) / kUnit;
    BufferRecord* rec = recordAt(off);
    if (runFree(rec->bitmap(), rec->bitmapBytes, s + oldUnits, extraUnits)) {
        useUnits(rec, s + oldUnits, extraUnits);
        std::memset(reinterpret_cast<void*>(a + size), 0, r - size);
        g.slots[slotIndex].size = static_cast<long>(r);
        return;
    }
    const Placement pl = placeBlock(r, true);
    const uintptr_t moved = claim(pl, r);
    rec = recordAt(off);  // the table may have moved while a buffer was added
    freeUnits(rec, s, oldUnits);
    std::memcpy(reinterpret_cast<void*>(moved), reinterpret_cast<void*>(a), size);
    if (!pl.fresh) std::memset(reinterpret_cast<void*>(moved + size), 0, r - size);
    std::memset(reinterpret_cast<void*>(a), 0, size);
    unindexBlock(slotIndex);
    g.slots[slotIndex].address = moved;
    g.slots[slotIndex].size = static_cast<long>(r);
    indexBlock(slotIndex);
}

void releaseSlot(size_t i) {
    const uintptr_t a = g.slots[i].address;
    const size_t size = static_cast<size_t>(g.slots[i].size);
    const size_t off = recordHolding(a);
    if (off != kNoRecord) {
        BufferRecord* rec = recordAt(off);
        freeUnits(rec, (a - rec->address) / kUnit, size / kUnit);
        offerForRelease(off, a, size);
    }
    unindexBlock(i);
    g.slots[i] = Slot{0, 0};
    markSlotFree(i, true);
}

}  // namespace

float mem_versionNumber(void) {
    return 1.04f;
}

long mem_reallocate(void** p, unsigned int size) {
    if (p == nullptr) return 0;
    if (!g.initialised) initialise();
    const size_t r = roundUp(static_cast<size_t>(size), kUnit);
    if (*p != nullptr) {
        const size_t i = findSlot(reinterpret_cast<uintptr_t>(*p));
        if (i != SIZE_MAX) {
            if (static_cast<size_t>(g.slots[i].size) < r) enlarge(i, r);
            *p = reinterpret_cast<void*>(g.slots[i].address);
            return g.slots[i].size;
        }
    }
    if (r == 0) return 0;
    const size_t i = takeSlot();
    const Placement pl = placeBlock(r, false);
    const uintptr_t a = claim(pl, r);
    if (!pl.fresh) std::memset(reinterpret_cast<void*>(a), 0, r);
    g.slots[i] = Slot{a, static_cast<long>(r)};
    indexBlock(i);
    *p = reinterpret_cast<void*>(a);
    return static_cast<long>(r);
}

void mem_deallocate(void** p) {
    if (!g.initialised) return;
    if (p == nullptr) {
        for (size_t i = 0; i < g.slotsUsed; ++i)
            if (g.slots[i].size > 0) releaseSlot(i);
        return;
    }
    if (g.slotsUsed == 0 || *p == nullptr) return;
    const size_t i = findSlot(reinterpret_cast<uintptr_t>(*p));
    if (i == SIZE_MAX) return;
    releaseSlot(i);
    *p = nullptr;
}

long mem_getMemSize(void* address) {
    const uintptr_t a = reinterpret_cast<uintptr_t>(address);
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t pageStart = a & ~(page - 1);
    FILE* maps = std::fopen("/proc/self/maps", "re");
    if (maps == nullptr) return 0;
    char line[512];
    bool atLineStart = true;
    long result = 0;
    while (std::fgets(line, sizeof line, maps) != nullptr) {
        const bool lineStart = atLineStart;
        atLineStart = std::strchr(line, '\n') != nullptr;
        if (!lineStart) continue;  // the rest of an overlong line
        unsigned long low = 0;
        unsigned long high = 0;
        if (std::sscanf(line, "%lx-%lx", &low, &high) == 2 && a >= low && a < high) {
            result = static_cast<long>(high - pageStart);
            break;
        }
    }
    std::fclose(maps);
    return result;
}

CQuillonMem::CQuillonMem() = default;
CQuillonMem& CQuillonMem::operator=(const CQuillonMem&) = default;
