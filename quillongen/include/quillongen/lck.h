// QuillonGen lock files: a process announces that it uses a data file with a
// small text file beside it ("<base>_<ext>_<program>_<pid>.lck") naming who
// holds it and how, and keeps an flock on that file for as long as it holds
// the lock. A checker that can take the flock has found a lock left behind by
// an ended process and deletes it; one that cannot has found a live owner.
#pragma once

#include <stdio.h>
#include <time.h>

#include "quillongen/qg_export.h"

// Lock modes and result codes.
enum {
    LCK_MODE_READONLY = 1,
    LCK_MODE_READWRITE = 2,
    LCK_MODE_WRITE = 3,
    LCK_MAX_LOCKS = 4,
    LCK_NAME_REFUSED = 1010,
    LCK_NOT_TAKEN = 1011
};

// Takes a lock on path: 0, LCK_NAME_REFUSED (the names do not fit) or
// LCK_NOT_TAKEN (four locks held, or the lock file cannot be made). It does
// not look for other locks: check with lck_isFileLocked first.
QG_EXTERN_C QG_API short lck_lockFile(const char* path, short mode);
// 1 when a live lock counts against mode (for mode 1 only locks other than
// read-only count); out (256 characters) then receives the deciding lock
// file's content. Lock files of ended processes are deleted on the way.
QG_EXTERN_C QG_API short lck_isFileLocked(const char* path, char* out, short mode);
// Releases this process's lock on path; 1, or 0 when the names do not fit.
QG_EXTERN_C QG_API short lck_unlockFile(const char* path);
QG_EXTERN_C QG_API short lck_unlockAllFiles(void);

#ifdef __cplusplus
// The lock holder; the library keeps one instance for the free functions.
class QG_API CQuillonLck {
public:
    CQuillonLck();
    // The copy holds duplicates of the other's lock files, sharing their locks.
    CQuillonLck(const CQuillonLck& other);
    CQuillonLck& operator=(CQuillonLck& other);
    // Closes the lock files, which leaves them on disk as stale locks.
    ~CQuillonLck();

    // Forms the names for path; 0, or LCK_NAME_REFUSED when they do not fit.
    short lck_setLockFileName(const char* path);
    // 1 when a new lock file was opened and its flock taken, else 0.
    short lck_openLockFile();
    void lck_setLockFileContent(short mode);
    short lck_fileLocked(char* out, short mode);
    void lck_unlockFile(const char* path);
    void lck_unlockFile();

private:
    void copyFrom(const CQuillonLck& other);
    void closeAll();

    char dir[256];
    char savedCwd[256];
    short lastLock;
    FILE* lockStreams[LCK_MAX_LOCKS];
    FILE* workStream;
    char* lockNames[LCK_MAX_LOCKS];
    char modeText[256];
    char ext[12];
    char pidText[16];
    char envValue[128];
    char baseName[256];
    char pattern[256];
    char fileName[256];
    char lockName[256];
    char content[256];
    time_t lockTime;
};
#endif
