// QuillonGen line and block file I/O. Streams are plain stdio streams; what the
// family adds lives in three library-wide tables: block files (block size, the
// next block and the read shift), files opened under a lock (to release it on
// close), and null devices (to recognise them and remove their scratch file).
#include "quillongen/dio.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "quillongen/err.h"
#include "quillongen/lck.h"
#include "quillongen/mem.h"
#include "quillongen/pgm.h"

namespace {

struct BlockFileEntry {
    FILE* file;
    int blockSize;  // 0 once closed: the entry no longer counts
    uint32_t nextBlock;
    uint32_t shift;
};

struct LockedFileEntry {
    FILE* file;
    char* path;
};

struct NullDevice {
    FILE* file;
    std::string scratchPath;
};

constexpr long kTableLimit = 32767;  // the tables count their entries in 16 bits
constexpr int kNullDescriptor = -1;

BlockFileEntry* blockTable = nullptr;
long blockCount = 0;
LockedFileEntry* lockedTable = nullptr;
long lockedCount = 0;
std::vector<NullDevice> nullDevices;

// Shared scratch of the family: the lock owner's description during a check,
// the attribute message.
char message[256];

bool isNullDevice(FILE* file) {
    for (const NullDevice& d : nullDevices)
        if (d.file == file) return true;
    return false;
}

int descriptorOf(FILE* file) {
    if (isNullDevice(file)) return kNullDescriptor;
    return fileno(file);
}

// Only the file part decides: "NULL" or "NULL.<anything>", in any case. A
// name that merely contains the word (annulled.dat, NULLS.TXT) is a real file.
bool isNullDeviceName(const char* name) {
    const char* part = name;
    for (const char* p = name; *p != '\0'; ++p)
        if (*p == '/' || *p == '\\') part = p + 1;
    if (strncasecmp(part, "NULL", 4) != 0) return false;
    return part[4] == '\0' || part[4] == '.';
}

// A scratch file named after the process id, in the directory named by the
// environment variable "temp" (the current directory when it is unset). It is
// removed again when the stream is closed.
FILE* openNullDevice() {
    std::snprintf(message, sizeof message, "%06d", static_cast<int>(getpid()));
    std::string path;
    if (const char* temp = std::getenv("temp"); temp != nullptr) path = std::string(temp) + "/";
    path += message;
    path += ".tmp";
    message[0] = '\0';
    FILE* file = std::fopen(path.c_str(), "w+b");
    if (file == nullptr) return nullptr;
    nullDevices.push_back({file, path});
    return file;
}

// stdio knows no text mode here: 't' is dropped, everything else is kept.
std::string streamMode(const char* mode) {
    std::string m;
    for (const char* p = mode; *p != '\0'; ++p)
        if (*p != 't') m += *p;
    return m;
}

BlockFileEntry* findBlockEntry(FILE* file) {
    if (file == nullptr) return nullptr;
    for (long i = 0; i < blockCount; ++i)
        if (blockTable[i].file == file && blockTable[i].blockSize != 0) return &blockTable[i];
    return nullptr;
}

bool registerBlockFile(FILE* file, short blockSize) {
    if (blockCount >= kTableLimit) return false;
    mem_reallocate(reinterpret_cast<void**>(&blockTable),
                   static_cast<unsigned int>((blockCount + 1) * sizeof(BlockFileEntry)));
    blockTable[blockCount++] = BlockFileEntry{file, blockSize, 0, 0};
    return true;
}

bool registerLockedFile(FILE* file, const char* name) {
    if (lockedCount >= kTableLimit) return false;
    char* copy = nullptr;
    mem_reallocate(reinterpret_cast<void**>(&copy),
                   static_cast<unsigned int>(std::strlen(name) + 1));
    std::memcpy(copy, name, std::strlen(name) + 1);
    mem_reallocate(reinterpret_cast<void**>(&lockedTable),
                   static_cast<unsigned int>((lockedCount + 1) * sizeof(LockedFileEntry)));
    lockedTable[lockedCount++] = LockedFileEntry{file, copy};
    return true;
}

bool accessAllowed(const char* name, const char* mode, short lockMode) {
    int need;
    switch (lockMode) {
        case LCK_MODE_READONLY:
            need = R_OK;
            break;
        case LCK_MODE_READWRITE:
            need = R_OK | W_OK;
            break;
        case LCK_MODE_WRITE:
            need = W_OK;
            break;
        default:
            if (std::strpbrk(mode, "wa+") == nullptr) return true;
            need = R_OK | W_OK;
    }
    return access(name, need) == 0;
}

// Waits, through the Retry/Cancel prompt, until no other lock counts against
// lockMode. False when the owner is the viewer that never takes locks (the
// file is then opened without a lock of ours). Cancel is fatal.
bool waitForLocks(const char* name, short lockMode) {
    while (lck_isFileLocked(name, message, lockMode) != 0) {
        if (std::strstr(message, "Pelmora") != nullptr) return false;
        if (err_prmp(message, ERR_STYLE_RETRY_CANCEL) != ERR_ANSWER_RETRY) {
            err_mess(ERR_LEVEL_FATAL, LCK_NOT_TAKEN, nullptr);
            return false;  // not reached: the fatal level ends the program
        }
    }
    return true;
}

}  // namespace

float dio_versionNumber(void) {
    return 1.0f;
}

FILE* dio_openFile(const char* name, const char* mode, short blockSize) {
    if (name == nullptr || mode == nullptr) return nullptr;
    if (isNullDeviceName(name)) return openNullDevice();
    if ((mode[0] == 'w' || mode[0] == 'W') && dio_doesFileExist(name)) std::remove(name);
    FILE* file = std::fopen(name, streamMode(mode).c_str());
    if (file == nullptr) return nullptr;
    if (std::strchr(mode, 'b') != nullptr && blockSize > 0 && !registerBlockFile(file, blockSize)) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

FILE* dio_openFileL(char* name, const char* mode, short blockSize, short lockMode) {
    if (name == nullptr || mode == nullptr) return nullptr;
    if (isNullDeviceName(name)) {
        FILE* file = openNullDevice();
        if (file != nullptr) std::memcpy(name, "NULL", 5);  // the name held at least "NULL"
        return file;
    }
    if (dio_doesFileExist(name) && !accessAllowed(name, mode, lockMode)) {
        std::snprintf(message, sizeof message, "Check file attributes of file: %s", name);
        err_mess(ERR_LEVEL_ERROR, LCK_NOT_TAKEN, message);
        return nullptr;
    }
    bool locked = false;
    if (lockMode != 0 && std::strncmp(prg_name, "Pelmora", 7) != 0 &&
        waitForLocks(name, lockMode)) {
        // Opening without the lock the caller asked for would be reported as
        // success while another program may write the file.
        if (lck_lockFile(name, lockMode) != 0) return nullptr;
        locked = true;
    }
    FILE* file = std::fopen(name, streamMode(mode).c_str());
    if (file == nullptr || (locked && !registerLockedFile(file, name))) {
        if (file != nullptr) std::fclose(file);
        if (locked) lck_unlockFile(name);
        return nullptr;
    }
    if (std::strchr(mode, 'b') != nullptr && blockSize > 0 && !registerBlockFile(file, blockSize)) {
        dio_closeFile(file);
        return nullptr;
    }
    return file;
}

FILE* dio_reopenFile(const char* name, const char* mode, FILE* file, short blockSize) {
    BlockFileEntry* entry = findBlockEntry(file);
    if (entry == nullptr || name == nullptr || mode == nullptr) return nullptr;
    if (std::strchr(mode, 'b') != nullptr) {
        if (blockSize > 0) entry->blockSize = blockSize;
        entry->nextBlock = 0;
        entry->shift = 0;
    }
    FILE* reopened = std::freopen(name, streamMode(mode).c_str(), file);
    if (reopened == nullptr) entry->blockSize = 0;  // freopen closed the stream
    return reopened;
}

void dio_closeFile(FILE* file) {
    if (file == nullptr) return;
    for (long i = 0; i < lockedCount; ++i) {
        if (lockedTable[i].file != file) continue;
        lck_unlockFile(lockedTable[i].path);
        mem_deallocate(reinterpret_cast<void**>(&lockedTable[i].path));
        std::memmove(&lockedTable[i], &lockedTable[i + 1],
                     static_cast<size_t>(lockedCount - i - 1) * sizeof(LockedFileEntry));
        --lockedCount;
        break;
    }
    if (BlockFileEntry* entry = findBlockEntry(file); entry != nullptr) {
        entry->file = nullptr;
        entry->blockSize = 0;
    }
    std::string scratch;
    for (auto it = nullDevices.begin(); it != nullDevices.end(); ++it) {
        if (it->file != file) continue;
        scratch = it->scratchPath;
        nullDevices.erase(it);
        break;
    }
    std::fflush(file);
    std::fclose(file);
    if (!scratch.empty()) std::remove(scratch.c_str());
}

short dio_doesFileExist(const char* name) {
    struct stat st;
    if (name == nullptr || stat(name, &st) != 0) return 0;
    return st.st_size != 0 ? 1 : 0;
}

long dio_fileSize(const char* name) {
    struct stat st;
    if (name == nullptr || stat(name, &st) != 0) return 0;
    return static_cast<long>(st.st_size);
}

short dio_isFileLocked(const char* name, short lockMode) {
    return lck_isFileLocked(name, message, lockMode);
}

short dio_readLine(FILE* file, char* line) {
    if (file == nullptr) {
        line[0] = '\0';
        return DIO_END_OF_FILE;
    }
    const int descriptor = descriptorOf(file);
    if (descriptor == kNullDescriptor) {
        line[0] = '\0';
        return 0;
    }
    FILE* in = descriptor == 0 ? stdin : file;
    size_t n = 0;
    for (;;) {
        const int c = std::getc(in);
        if (c == EOF) {
            line[n] = '\0';
            return DIO_END_OF_FILE;
        }
        if (c == '\n') {
            line[n] = '\0';
            return 0;
        }
        line[n++] = static_cast<char>(c);
    }
}

short dio_writeLine(FILE* file, const char* text) {
    if (file == nullptr) return DIO_WRITE_ERROR;
    const int descriptor = descriptorOf(file);
    if (descriptor == kNullDescriptor) return 0;
    FILE* out = descriptor == 1 ? stdout : descriptor == 2 ? stderr : file;
    for (const char* p = text == nullptr ? "" : text; *p != '\0'; ++p)
        if (std::putc(static_cast<unsigned char>(*p), out) == EOF) return DIO_WRITE_ERROR;
    if (std::putc('\n', out) == EOF) return DIO_WRITE_ERROR;
    return 0;
}

short dio_rewind(FILE* file) {
    if (file == nullptr) return -1;
    return std::fseek(file, 0, SEEK_SET) == 0 ? 0 : -1;
}

short dio_bReadBlock(FILE* file, unsigned long block, char* buffer) {
    if (file != nullptr && isNullDevice(file)) {
        buffer[0] = '\0';
        return 0;
    }
    BlockFileEntry* entry = findBlockEntry(file);
    if (entry == nullptr) return DIO_NOT_BLOCK_FILE;
    if (block != 0) entry->nextBlock = static_cast<uint32_t>(block - 1);
    const off_t position = static_cast<off_t>(entry->nextBlock) * entry->blockSize + entry->shift;
    if (fseeko(file, position, SEEK_SET) != 0) return DIO_READ_ERROR;
    ++entry->nextBlock;
    const size_t size = static_cast<size_t>(entry->blockSize);
    if (std::fread(buffer, 1, size, file) != size || std::feof(file)) return DIO_READ_ERROR;
    return 0;
}

short dio_bWriteBlock(FILE* file, unsigned long block, const char* buffer) {
    if (file != nullptr && isNullDevice(file)) return 0;
    BlockFileEntry* entry = findBlockEntry(file);
    if (entry == nullptr) return DIO_NOT_BLOCK_FILE;
    if (block != 0) entry->nextBlock = static_cast<uint32_t>(block - 1);
    const off_t position = static_cast<off_t>(entry->nextBlock) * entry->blockSize;
    const size_t size = static_cast<size_t>(entry->blockSize);
    if (fseeko(file, position, SEEK_SET) != 0 || std::fwrite(buffer, 1, size, file) != size)
        return DIO_WRITE_ERROR;
    ++entry->nextBlock;
    return 0;
}

short dio_bRealignBlock(FILE* file, unsigned long bytes) {
    BlockFileEntry* entry = findBlockEntry(file);
    if (entry == nullptr) return DIO_NOT_BLOCK_FILE;
    entry->shift += static_cast<uint32_t>(bytes);
    return 0;
}

short dio_bResetBlockAlignment(FILE* file) {
    BlockFileEntry* entry = findBlockEntry(file);
    if (entry == nullptr) return DIO_NOT_BLOCK_FILE;
    entry->shift = 0;
    return 0;
}

short dio_getBlockSize(FILE* file) {
    BlockFileEntry* entry = findBlockEntry(file);
    return entry == nullptr ? 0 : static_cast<short>(entry->blockSize);
}

CQuillonDio::CQuillonDio() = default;

CQuillonDio& CQuillonDio::operator=(const CQuillonDio&) {
    return *this;
}
