// QuillonGen program frame: command line, report mode and report file of a
// batch-style program, start and termination banners, and a one-line status
// display in a window a host program provides (or on the terminal).
#pragma once

#include "quillongen/qg_export.h"

// Handles a host program passes through; the library never looks inside.
typedef void* QgInstance;
typedef void* QgWindow;

// Sets the text of a host window; installed by the host program.
typedef void (*PgmStatusTextHandler)(QgWindow window, const char* text);

enum { PGM_TOO_MANY_ARGUMENTS = 3001 };

// The running program's name without directory and extension.
QG_EXTERN_C QG_API char prg_name[256];

QG_EXTERN_C QG_API float pgm_versionNumber(void);

// Reads commandLine (program [input file [report file]]), starts the message
// family with the report file (program name + ".rpt" unless given) and writes
// the start banner. The input file name, with "." inputExt added when it has
// no dot, is copied into inputFile (256 characters; empty when none). Returns
// 1; every failure is fatal.
QG_EXTERN_C QG_API short pgm_init(const char* inputExt, QgInstance instance, QgWindow statusWindow,
                                  const char* commandLine, char* inputFile);
QG_EXTERN_C QG_API int pgm_banr(const char* commandLine, const char* programName,
                                const char* inputFile, const char* reportFile, char errorMode,
                                char reportMode);
// Termination banner, closing of the message family, release of all locks.
QG_EXTERN_C QG_API void pgm_exit(void);

QG_EXTERN_C QG_API short pgm_prompt(const char* text, unsigned long style);
QG_EXTERN_C QG_API void pgm_mess(const char* text);
QG_EXTERN_C QG_API void pgm_rprt(const char* text);

// Installs the status window handler and returns the previous one. Without a
// handler, or with a null status window, the line is rewritten in place on
// standard output.
QG_EXTERN_C QG_API PgmStatusTextHandler pgm_setStatusTextHandler(PgmStatusTextHandler handler);
// Shows text, padded with blanks to the status width less one.
QG_EXTERN_C QG_API void pgm_status(const char* text);
QG_EXTERN_C QG_API void pgm_statusWindowWidth(long width);

QG_EXTERN_C QG_API void pgm_sleep(long milliseconds);
// Kept for programs that call it after pgm_sleep; nothing is waiting on it.
QG_EXTERN_C QG_API void pgm_wakeUp(void);

// Sets XRDTBL to the directory "Tables" beside programName as found on PATH
// (or as given, when it holds a directory). Returns 1.
QG_EXTERN_C QG_API int pgm_setTableLocation(const char* programName);

#ifdef __cplusplus
// Exported for programs that expect it; it carries no data.
class QG_API CQuillonPgm {
public:
    CQuillonPgm();
    CQuillonPgm& operator=(const CQuillonPgm& other);
};
#endif
