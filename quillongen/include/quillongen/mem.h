// QuillonGen memory manager: growable, zero-filled blocks that callers hold
// through a pointer variable, carved from large buffers of virtual memory.
#pragma once

#include "quillongen/qg_export.h"

// Version of the memory manager family.
QG_EXTERN_C QG_API float mem_versionNumber(void);

// Gives *p a zero-filled block of at least size bytes, or enlarges the block
// *p already holds (keeping its content, zeroing the new part). Returns the
// block's size, a multiple of 8; 0 when size rounds to 0. Blocks never shrink.
// A pointer the family does not know is treated as null. Running out of
// memory is fatal and ends the program.
QG_EXTERN_C QG_API long mem_reallocate(void** p, unsigned int size);

// Releases the block of *p and sets *p to null; an unknown pointer is left
// alone. With p null, releases every block of the family (callers' pointer
// variables are not touched).
QG_EXTERN_C QG_API void mem_deallocate(void** p);

// Size of the memory mapping that holds address, counted from the page that
// holds address to the mapping's end; 0 when no mapping holds it.
QG_EXTERN_C QG_API long mem_getMemSize(void* address);

#ifdef __cplusplus
// Exported for programs that expect it; it carries no data.
class QG_API CQuillonMem {
public:
    CQuillonMem();
    CQuillonMem& operator=(const CQuillonMem& other);
};
#endif
