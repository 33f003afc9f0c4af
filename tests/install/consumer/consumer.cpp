// Uses an installed QuillonGen's message family the way a program built on
// it does: consumer <report file> starts the family (XRDTBL as it is), reports
// message 1001 with its table text, prints err_init's result and the prefix
// of the report file's path.
#include <cstdio>

#include "quillongen/err.h"
#include "quillongen/str.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const short result = err_init("consumer", argv[1], 'Q', 'Q');
    err_mess(ERR_LEVEL_INFORMATION, 1001, "looked up");
    err_close();
    char prefix[256];
    str_getPrefix(prefix, argv[1]);
    std::printf("%d %s\n", result, prefix);
    return 0;
}
