// QuillonGen buffered file I/O (Xgen_ family) and its allocator. Results are
// 32-bit codes: 8200 in the low half, a byte count in the high half.
#include "quillongen/xgen.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kBuf = XGEN_BUFFER_SIZE;
constexpr size_t kFirstSlots = 256;
constexpr size_t kSlotGrowth = 10;

struct Slot {
    void* address;  // null when free
    long size;      // -1 when free
};

Slot* slots = nullptr;
size_t slotCapacity = 0;
size_t slotsUsed = 0;  // high-water mark

void* mapRegion(size_t size) {
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

bool resizeSlots(size_t capacity) {
    auto* fresh = static_cast<Slot*>(mapRegion(capacity * sizeof(Slot)));
    if (fresh == nullptr) return false;
    if (slots != nullptr) {
        std::memcpy(fresh, slots, slotCapacity * sizeof(Slot));
        munmap(slots, slotCapacity * sizeof(Slot));
    }
    for (size_t i = slotCapacity; i < capacity; ++i) fresh[i] = Slot{nullptr, -1};
    slots = fresh;
    slotCapacity = capacity;
    return true;
}

Slot* findSlot(void* address) {
    if (address == nullptr) return nullptr;
    for (size_t i = 0; i < slotsUsed; ++i)
        if (slots[i].address == address) return &slots[i];
    return nullptr;
}

size_t roundedSize(unsigned int size) {
    return (static_cast<size_t>(size) + 7) / 8 * 8;
}

int openOne(const char* path, bool forWrite) {
    const int fd = forWrite ? open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)
                            : open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {  // a directory is not a file to read
        close(fd);
        return -1;
    }
    return fd;
}

void keepName(XgenBuffer* b, const char* name, size_t len) {
    std::memcpy(b->name, name, len);
    b->name[len] = '\0';
}

// Opens name in the PATH entries, in order; keeps the full name that opened.
int openAlongPath(XgenBuffer* b, const char* name, bool forWrite) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return -1;
    const size_t pathLength = std::strlen(path);
    if (pathLength >= 0xFFFFFFFFu) return -1;
    auto* expanded = static_cast<char*>(Xgen_LocalAlloc(static_cast<unsigned int>(pathLength + 1)));
    if (expanded == nullptr) return -1;
    std::memcpy(expanded, path, pathLength + 1);
    const size_t nameLength = std::strlen(name);
    int fd = -1;
    for (char* entry = expanded; fd < 0 && *entry != '\0';) {
        char* end = std::strchr(entry, ':');
        const size_t entryLength = end ? static_cast<size_t>(end - entry) : std::strlen(entry);
        if (entryLength > 0) {
            const bool slash = entry[entryLength - 1] == '/';
            const size_t full = entryLength + (slash ? 0 : 1) + nameLength;
            if (full < sizeof b->name) {
                char candidate[sizeof b->name];
                std::memcpy(candidate, entry, entryLength);
                if (!slash) candidate[entryLength] = '/';
                std::memcpy(candidate + full - nameLength, name, nameLength);
                candidate[full] = '\0';
                fd = openOne(candidate, forWrite);
                if (fd >= 0) keepName(b, candidate, full);
            }
        }
        if (end == nullptr) break;
        entry = end + 1;
    }
    Xgen_LocalFree(expanded);
    return fd;
}

// Reads up to n bytes, retrying short reads until end of file; -1 on error.
long readFully(int fd, char* to, size_t n) {
    size_t done = 0;
    while (done < n) {
        const ssize_t got = read(fd, to + done, n - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    return static_cast<long>(done);
}

long writeFully(int fd, const char* from, size_t n) {
    size_t done = 0;
    while (done < n) {
        const ssize_t put = write(fd, from + done, n - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        done += static_cast<size_t>(put);
    }
    return static_cast<long>(done);
}

// Writes the waiting output. What could not be written stays waiting.
bool flushOut(XgenBuffer* b) {
    if (b->outCount <= 0) return true;
    const long done = writeFully(b->handle, b->outBuffer, static_cast<size_t>(b->outCount));
    const int left = b->outCount - static_cast<int>(done);
    std::memmove(b->outBuffer, b->outBuffer + done, static_cast<size_t>(left));
    b->outCount = left;
    b->outCursor = b->outBuffer + left;
    return left == 0;
}

void emptyInput(XgenBuffer* b) {
    b->inUsed = kBuf;
    b->inCursor = b->inBuffer + kBuf;
}

int success(int count) {
    return count * 65536 + XGEN_OK;
}

}  // namespace

float Xgen_versionNumber(void) {
    return 1.04f;
}

int Xgen_BufOpen(XgenBuffer* block, const char* name, char forWrite) {
    if (block == nullptr || name == nullptr || name[0] == '\0') return XGEN_OPEN_ERROR;
    const bool write = forWrite != 0;
    const size_t len = std::strlen(name);
    if (len >= sizeof block->name) return XGEN_OPEN_ERROR;  // the name could not be kept
    int fd = openOne(name, write);
    if (fd >= 0) {
        keepName(block, name, len);
    } else {
        if (std::strchr(name, '/') != nullptr) return XGEN_OPEN_ERROR;
        fd = openAlongPath(block, name, write);
        if (fd < 0) return XGEN_OPEN_ERROR;
    }
    block->handle = fd;
    void* out = Xgen_LocalAlloc(kBuf);
    void* in = Xgen_LocalAlloc(kBuf);
    if (out == nullptr || in == nullptr) {
        Xgen_LocalFree(out);
        Xgen_LocalFree(in);
        close(fd);
        block->handle = -1;
        return XGEN_ALLOC_ERROR;
    }
    block->outBlock = out;
    block->outBuffer = static_cast<char*>(out);
    block->inBlock = in;
    block->inBuffer = static_cast<char*>(in);
    block->outCount = 0;
    block->outCursor = block->outBuffer;
    emptyInput(block);
    return XGEN_OK;
}

int Xgen_BufIn(XgenBuffer* block, int position, int count, void* destination) {
    if (block == nullptr || block->inBuffer == nullptr || position < 0 || count < 0 ||
        count > XGEN_MAX_COUNT || (count > 0 && destination == nullptr))
        return XGEN_READ_ERROR;
    if (position != 0) {
        const off_t want = static_cast<off_t>(position) - 1;
        if (lseek(block->handle, want, SEEK_SET) != want) return XGEN_READ_ERROR;
        emptyInput(block);
    }
    if (count == 0) return XGEN_OK;
    auto* to = static_cast<char*>(destination);
    const int waiting = kBuf - block->inUsed;
    const int taken = waiting < count ? waiting : count;
    std::memcpy(to, block->inCursor, static_cast<size_t>(taken));
    block->inUsed += taken;
    block->inCursor += taken;
    const int rest = count - taken;
    if (rest == 0) return success(count);
    to += taken;
    if (rest < kBuf) {
        const long got = readFully(block->handle, block->inBuffer, kBuf);
        if (got < 0) return XGEN_READ_ERROR;
        // The bytes read sit at the buffer's end, so 512 - inUsed is always what waits.
        if (got < kBuf)
            std::memmove(block->inBuffer + kBuf - got, block->inBuffer, static_cast<size_t>(got));
        block->inUsed = kBuf - static_cast<int>(got);
        block->inCursor = block->inBuffer + block->inUsed;
        if (got < rest) return XGEN_READ_ERROR;
        std::memcpy(to, block->inCursor, static_cast<size_t>(rest));
        block->inUsed += rest;
        block->inCursor += rest;
    } else if (readFully(block->handle, to, static_cast<size_t>(rest)) != rest) {
        return XGEN_READ_ERROR;
    }
    return success(count);
}

int Xgen_BufOut(XgenBuffer* block, int position, int count, const void* source) {
    if (block == nullptr || block->outBuffer == nullptr || position < 0 || count < 0 ||
        count > XGEN_MAX_COUNT || (count > 0 && source == nullptr))
        return XGEN_WRITE_ERROR;
    if (position != 0) {
        if (!flushOut(block)) return XGEN_WRITE_ERROR;
        const off_t want = static_cast<off_t>(position) - 1;
        if (lseek(block->handle, want, SEEK_SET) != want) return XGEN_WRITE_ERROR;
    }
    if (count < kBuf) {
        if (block->outCount + count >= kBuf && !flushOut(block)) return XGEN_WRITE_ERROR;
        if (count > 0) std::memcpy(block->outCursor, source, static_cast<size_t>(count));
        block->outCursor += count;
        block->outCount += count;
        return success(count);
    }
    if (!flushOut(block)) return XGEN_WRITE_ERROR;
    const long put =
        writeFully(block->handle, static_cast<const char*>(source), static_cast<size_t>(count));
    if (put != count) return XGEN_WRITE_ERROR;
    return success(count);
}

int Xgen_BufClose(XgenBuffer* block) {
    if (block == nullptr) return XGEN_CLOSE_ERROR;
    if (block->outBuffer != nullptr && !flushOut(block)) return XGEN_CLOSE_ERROR;
    Xgen_LocalFree(block->outBlock);
    Xgen_LocalFree(block->inBlock);
    block->outBlock = nullptr;
    block->outBuffer = nullptr;
    block->outCursor = nullptr;
    block->outCount = 0;
    block->inBlock = nullptr;
    block->inBuffer = nullptr;
    block->inCursor = nullptr;
    block->inUsed = kBuf;
    const int rc = close(block->handle);
    block->handle = -1;
    return rc == 0 ? XGEN_OK : XGEN_CLOSE_ERROR;
}

void* Xgen_LocalAlloc(unsigned int size) {
    if (slots == nullptr && !resizeSlots(kFirstSlots)) return nullptr;
    const size_t rounded = roundedSize(size);
    if (rounded == 0) return nullptr;
    Slot* slot = nullptr;
    for (size_t i = 0; i < slotsUsed && slot == nullptr; ++i)
        if (slots[i].address == nullptr) slot = &slots[i];
    if (slot == nullptr && slotsUsed + 1 >= slotCapacity &&
        !resizeSlots(slotCapacity + kSlotGrowth))
        return nullptr;
    void* region = mapRegion(rounded);
    if (region == nullptr) return nullptr;
    if (slot == nullptr) slot = &slots[slotsUsed++];
    *slot = Slot{region, static_cast<long>(rounded)};
    return region;
}

void* Xgen_LocalReAlloc(unsigned int size, void* address) {
    Slot* slot = findSlot(address);
    if (slot == nullptr) return Xgen_LocalAlloc(size);
    const size_t rounded = roundedSize(size);
    if (static_cast<size_t>(slot->size) >= rounded) return address;
    void* region = mapRegion(rounded);
    if (region == nullptr) return nullptr;
    std::memcpy(region, address, static_cast<size_t>(slot->size));
    munmap(address, static_cast<size_t>(slot->size));
    *slot = Slot{region, static_cast<long>(rounded)};
    return region;
}

void Xgen_LocalFree(void* address) {
    Slot* slot = findSlot(address);
    if (slot == nullptr) return;
    munmap(address, static_cast<size_t>(slot->size));
    *slot = Slot{nullptr, -1};
}
