// QuillonGen message family: a numbered message table found through the
// XRDTBL directory, a report file that every message is appended to in a
// framed layout, message boxes through a handler a host program may install,
// and the fatal levels that end the program.
#pragma once

#include "quillongen/qg_export.h"

// Message levels of err_mess. Level 3 is fatal; level 4 is fatal when the
// error mode given to err_init is 'F'.
enum {
    ERR_LEVEL_NONE = 0,
    ERR_LEVEL_INFORMATION = 1,
    ERR_LEVEL_WARNING = 2,
    ERR_LEVEL_FATAL = 3,
    ERR_LEVEL_ERROR = 4
};

// Result codes of err_init.
enum { ERR_NO_TABLE = 1001, ERR_NO_REPORT = 1002 };

// Message box styles and answers, with the values programs built on the
// library already use.
enum {
    ERR_STYLE_OK = 0x00,
    ERR_STYLE_OK_CANCEL = 0x01,
    ERR_STYLE_YES_NO_CANCEL = 0x03,
    ERR_STYLE_RETRY_CANCEL = 0x05,
    ERR_ICON_STOP = 0x10,
    ERR_ICON_QUESTION = 0x20,
    ERR_ICON_EXCLAMATION = 0x30,
    ERR_ICON_INFORMATION = 0x40,
    ERR_ANSWER_OK = 1,
    ERR_ANSWER_CANCEL = 2,
    ERR_ANSWER_RETRY = 4,
    ERR_ANSWER_YES = 6,
    ERR_ANSWER_NO = 7
};

// Shows text in a message box titled title with the given style and returns
// the answer (ERR_ANSWER_...), or 0 when no box could be shown.
typedef int (*ErrMessageBoxHandler)(const char* text, const char* title, unsigned long style);

// Name of the function about to report (at most 31 characters); cleared after
// every message and prompt.
QG_EXTERN_C QG_API char curr_fun[32];

QG_EXTERN_C QG_API float err_versionNumber(void);

// Installs the message box handler and returns the previous one. Without a
// handler (null), boxes cannot be shown and their texts go to standard output.
QG_EXTERN_C QG_API ErrMessageBoxHandler err_setMessageBoxHandler(ErrMessageBoxHandler handler);

// Starts the family: reportMode 'V' turns message boxes on, errorMode 'F'
// makes level 4 fatal. Returns 0, ERR_NO_TABLE or ERR_NO_REPORT. An unset
// XRDTBL or a missing table directory is fatal.
QG_EXTERN_C QG_API short err_init(const char* title, const char* reportFile, char reportMode,
                                  char errorMode);
QG_EXTERN_C QG_API void err_close(void);

// Reports one message; code > 0 adds the table text of that code. Ends the
// process with exit code 0 (after the termination banner) at a fatal level.
QG_EXTERN_C QG_API void err_mess(short level, short code, const char* text);

// Asks a question; the answer of the box, 0 when no box could be shown, -1
// when text is empty or message boxes are off.
QG_EXTERN_C QG_API short err_prmp(const char* text, unsigned long style);
QG_EXTERN_C QG_API short err_prompt(const char* text);

// Writes text as one line of the report file (when open and text not empty).
QG_EXTERN_C QG_API void err_rprt(const char* text);

#ifdef __cplusplus
// Exported for programs that expect it; it carries no data.
class QG_API CQuillonErr {
public:
    CQuillonErr();
    CQuillonErr& operator=(const CQuillonErr& other);
};
#endif
