// QuillonGen buffered file I/O: sequential or positioned byte reads and writes
// through 512-byte buffers held in a caller-owned control block, a PATH search
// for bare file names, and the family's own small allocator.
#pragma once

#include "quillongen/qg_export.h"

// Result codes. A read or write of n bytes succeeds with n * 65536 + XGEN_OK,
// so n is limited to XGEN_MAX_COUNT.
enum {
    XGEN_OK = 8200,
    XGEN_WRITE_ERROR = 8201,
    XGEN_OPEN_ERROR = 8202,
    XGEN_CLOSE_ERROR = 8203,
    XGEN_ALLOC_ERROR = 8204,
    XGEN_READ_ERROR = 8206,
    XGEN_BUFFER_SIZE = 512,
    XGEN_MAX_COUNT = 32767
};

// Control block, owned by the caller and filled by Xgen_BufOpen.
typedef struct XgenBuffer {
    int handle;       // file descriptor
    char name[256];   // the name the file was opened under (full name when found on PATH)
    char* outBuffer;  // 512-byte output buffer
    void* outBlock;   // allocation holding the output buffer
    int outCount;     // bytes waiting in the output buffer
    char* outCursor;  // where the next output byte goes
    char* inBuffer;   // 512-byte input buffer
    void* inBlock;    // allocation holding the input buffer
    int inUsed;       // bytes of the input buffer handed out; 512 when it is empty
    char* inCursor;   // next input byte to hand out
} XgenBuffer;

QG_EXTERN_C QG_API float Xgen_versionNumber(void);

// Opens name for reading (it must exist) or, with forWrite not 0, for writing
// (created or emptied). A name without "/" that cannot be opened is looked for
// along PATH. Returns XGEN_OK, XGEN_OPEN_ERROR or XGEN_ALLOC_ERROR.
QG_EXTERN_C QG_API int Xgen_BufOpen(XgenBuffer* block, const char* name, char forWrite);

// Reads count bytes (at most XGEN_MAX_COUNT) into destination, from 1-based
// byte position, or from where the last read ended when position is 0.
// Returns count * 65536 + XGEN_OK, XGEN_OK for 0 bytes, or XGEN_READ_ERROR when
// positioning fails or fewer bytes are available.
QG_EXTERN_C QG_API int Xgen_BufIn(XgenBuffer* block, int position, int count, void* destination);

// Writes count bytes (at most XGEN_MAX_COUNT) from source at 1-based position,
// or after the last write when position is 0. Returns count * 65536 + XGEN_OK
// or XGEN_WRITE_ERROR. Short writes wait in the buffer until it would fill, a
// positioned write begins, or the file is closed.
QG_EXTERN_C QG_API int Xgen_BufOut(XgenBuffer* block, int position, int count, const void* source);

// Writes waiting output, releases the buffers and closes the file: XGEN_OK, or
// XGEN_CLOSE_ERROR (when the output cannot be written the file stays open and
// the call can be repeated).
QG_EXTERN_C QG_API int Xgen_BufClose(XgenBuffer* block);

// The family's allocator: zero-filled blocks, sizes rounded up to 8.
QG_EXTERN_C QG_API void* Xgen_LocalAlloc(unsigned int size);
// A block of at least size bytes holding the old content; the same address
// when it is already large enough; 0 on failure (the old block stays valid).
QG_EXTERN_C QG_API void* Xgen_LocalReAlloc(unsigned int size, void* address);
QG_EXTERN_C QG_API void Xgen_LocalFree(void* address);
