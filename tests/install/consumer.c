/* Built against an installed QuillonGen through pkg-config: the public
   header compiles as C and the library links and runs. */
#include <stdio.h>

#include "quillongen/str.h"

int main(int argc, char** argv) {
    char prefix[256];
    if (argc < 2) return 2;
    str_getPrefix(prefix, argv[1]);
    printf("%s\n", prefix);
    return 0;
}
