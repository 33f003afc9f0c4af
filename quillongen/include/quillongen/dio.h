// QuillonGen line and block file I/O: standard streams with a null device,
// line reading and writing with descriptors 0, 1 and 2 taken over, block files
// addressed by 1-based block number with a read-only byte shift, and opening
// under the lock-file protocol.
#pragma once

#include <stdio.h>

#include "quillongen/qg_export.h"

// Result codes of the family.
enum {
    DIO_END_OF_FILE = -1,
    DIO_WRITE_ERROR = 1003,
    DIO_READ_ERROR = 1004,
    DIO_NOT_BLOCK_FILE = 1005
};

QG_EXTERN_C QG_API float dio_versionNumber(void);

// Opens name with mode (an fopen mode; 't' is accepted and ignored). A name
// whose file part is "NULL" or begins with "NULL." (any case) opens the null
// device: writes vanish and reads give empty lines. A mode with 'b' makes a
// block file of blockSize bytes per block (none when blockSize is 0). A mode
// beginning with 'w' deletes an existing file first.
QG_EXTERN_C QG_API FILE* dio_openFile(const char* name, const char* mode, short blockSize);

// As dio_openFile, after checking access and, for lockMode 1 (read-only),
// 2 (read-write) or 3 (write), the locks of other programs: while the file is
// locked the owner's lock description is offered with Retry/Cancel; Cancel is
// fatal. The lock is held until dio_closeFile. For the null device, name is
// overwritten with "NULL".
QG_EXTERN_C QG_API FILE* dio_openFileL(char* name, const char* mode, short blockSize,
                                       short lockMode);

// Reopens a registered block file on name; null for any other stream.
QG_EXTERN_C QG_API FILE* dio_reopenFile(const char* name, const char* mode, FILE* file,
                                        short blockSize);
// Releases the lock and the block registration, removes the null device's
// temporary file, and closes the stream.
QG_EXTERN_C QG_API void dio_closeFile(FILE* file);

// 1 when the file exists and is not empty.
QG_EXTERN_C QG_API short dio_doesFileExist(const char* name);
// Size in bytes; 0 when the file does not exist.
QG_EXTERN_C QG_API long dio_fileSize(const char* name);
// 1 when another lock counts against lockMode (see lck_isFileLocked).
QG_EXTERN_C QG_API short dio_isFileLocked(const char* name, short lockMode);

// Reads one line without its line feed into line, which must hold the longest
// line. 0 for a line, DIO_END_OF_FILE at the end (an unfinished last line is
// kept in line). A stream on descriptor 0 reads standard input.
QG_EXTERN_C QG_API short dio_readLine(FILE* file, char* line);
// Writes text and a line feed; 0 or DIO_WRITE_ERROR. Streams on descriptors
// 1 and 2 write to standard output and standard error.
QG_EXTERN_C QG_API short dio_writeLine(FILE* file, const char* text);
QG_EXTERN_C QG_API short dio_rewind(FILE* file);

// Block numbers count from 1; 0 means the block after the last one used.
QG_EXTERN_C QG_API short dio_bReadBlock(FILE* file, unsigned long block, char* buffer);
QG_EXTERN_C QG_API short dio_bWriteBlock(FILE* file, unsigned long block, const char* buffer);
// Moves every later block read by bytes (writes are not shifted).
QG_EXTERN_C QG_API short dio_bRealignBlock(FILE* file, unsigned long bytes);
QG_EXTERN_C QG_API short dio_bResetBlockAlignment(FILE* file);
// The block size, or 0 when file is not a registered block file.
QG_EXTERN_C QG_API short dio_getBlockSize(FILE* file);

#ifdef __cplusplus
// Exported for programs that expect it; it carries no data.
class QG_API CQuillonDio {
public:
    CQuillonDio();
    CQuillonDio& operator=(const CQuillonDio& other);
};
#endif
