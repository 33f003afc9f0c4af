// Export marker of the QuillonGen shared library: every public function and
// class carries QG_API; everything else stays hidden.
#pragma once

#if defined(QG_BUILDING)
#define QG_API __attribute__((visibility("default")))
#else
#define QG_API
#endif

#ifdef __cplusplus
#define QG_EXTERN_C extern "C"
#else
#define QG_EXTERN_C
#endif
