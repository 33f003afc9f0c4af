// QuillonGen string utilities: fields of comma/blank separated lines, items
// split at chosen separators, keyword lines, number classes, width.decimals
// codes, argument vectors and file-name helpers, for NUL-terminated 8-bit text.
//
// Destination buffers are supplied by the caller, who guarantees room for the
// result (never more than the text it came from, plus what the function says
// it adds). Functions marked "changes text" work in place.
#pragma once

#include "quillongen/qg_export.h"

// Version of the string family.
QG_EXTERN_C QG_API float str_versionNumber(void);

// Fields separated by commas, blanks and tabs; double quotes group a field.
QG_EXTERN_C QG_API short str_getNTokens(const char* text);
QG_EXTERN_C QG_API short str_getNth(char* dest, const char* text, short n);
QG_EXTERN_C QG_API short str_getNthLength(const char* text, short n);
// Delivers the next field of text on each call (first 255 characters only);
// -1 once past the last field, after which the walk starts again.
QG_EXTERN_C QG_API short str_getNext(char* dest, const char* text);

// Items separated by one chosen character, or by any character of a set.
QG_EXTERN_C QG_API short str_getNItems(const char* text, char sep);
QG_EXTERN_C QG_API short str_getNthItem(char* dest, const char* text, short n, char sep);
QG_EXTERN_C QG_API int str_getNValues(const char* text, const char* seps);
QG_EXTERN_C QG_API short str_getNthValue(char* dest, const char* text, short n, const char* seps,
                                         int* sepIndex);

// Matches "key" or "key=value" against comma-separated keywords, which the key
// may abbreviate: 0 no match, i+1 for the one keyword i, -count when ambiguous.
QG_EXTERN_C QG_API short str_parseKeyword(const char* line, char* value, const char* keywords,
                                          int nKeywords);
// 0 not a number, 1 integer, 2 single, 3 double; changes text (blanks and tabs
// removed, lower case).
QG_EXTERN_C QG_API short str_whatIsType(char* text);
// Width.decimals code: "10.2" gives 1002, "8" gives 800.
QG_EXTERN_C QG_API short str_getFormat(const char* text);
// Takes the text up to the next delimiter character off the front of text;
// changes text and delimiters.
QG_EXTERN_C QG_API void str_getSubString(char* dest, char* delimiter, char* text, char* delimiters);
// Argument vector of the fields of a command line, ended by a null entry. The
// vector and its texts belong to the library and are reused by the next call.
QG_EXTERN_C QG_API char** str_cclParse(const char* commandLine);

QG_EXTERN_C QG_API long str_getNumberStrings(const char* text, char sep);
QG_EXTERN_C QG_API long str_getSigLen(const char* text);
// The part between the first and the last double quote; changes text.
QG_EXTERN_C QG_API void str_getString(char* dest, char* text);
QG_EXTERN_C QG_API void str_rmChar(char* dest, const char* text, char c);

// Path and file-name helpers; "/" and "\" both separate directories.
QG_EXTERN_C QG_API void str_getPrefix(char* dest, const char* path);
QG_EXTERN_C QG_API void str_rmPrefix(char* dest, const char* path);
QG_EXTERN_C QG_API void str_getSuffix(char* dest, const char* name);
QG_EXTERN_C QG_API void str_rmSuffix(char* dest, const char* name);
QG_EXTERN_C QG_API void str_splitFilename(char* dest, const char* name, long number, long keep);
QG_EXTERN_C QG_API void str_appendExt(char* name, const char* ext);
QG_EXTERN_C QG_API void str_catChar(char* text, char c);
QG_EXTERN_C QG_API char* str_toLower(char* text);
QG_EXTERN_C QG_API char* str_toUpper(char* text);

#ifdef __cplusplus
// Exported for programs that expect it; it carries no data.
class QG_API CQuillonStr {
public:
    CQuillonStr();
    CQuillonStr& operator=(const CQuillonStr& other);
};
#endif
