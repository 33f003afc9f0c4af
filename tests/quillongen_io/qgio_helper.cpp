// Second process for the QuillonGen I/O tests. Commands:
//   hold <program> <mode> <path>...  lock each path, print "locked", then wait
//                                    for standard input to close
//   release-first <program> <path>... lock each path, release the first,
//                                    print "locked", wait as above
//   fatal <level> <errorMode> <report>  report level with code 1011; prints
//                                    "returned" and ends with 3 if it returns
//   pgm <command line>               pgm_init; ends with 5 if it returns
//   init                             err_init with XRDTBL as it is
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "quillongen/err.h"
#include "quillongen/lck.h"
#include "quillongen/pgm.h"

namespace {

void waitForClose() {
    std::printf("locked\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string command = argv[1];
    if ((command == "hold" && argc >= 5) || (command == "release-first" && argc >= 4)) {
        std::snprintf(prg_name, sizeof prg_name, "%s", argv[2]);
        const bool hold = command == "hold";
        const short mode = hold ? static_cast<short>(std::atoi(argv[3])) : 2;
        for (int i = hold ? 4 : 3; i < argc; ++i)
            if (lck_lockFile(argv[i], mode) != 0) return 4;
        if (!hold) lck_unlockFile(argv[3]);
        waitForClose();
        lck_unlockAllFiles();
        return 0;
    }
    if (command == "fatal" && argc == 5) {
        if (err_init("Helper", argv[4], 'Q', argv[3][0]) != 0) return 6;
        std::snprintf(curr_fun, sizeof curr_fun, "  helper");
        err_mess(static_cast<short>(std::atoi(argv[2])), 1011, "boom");
        std::printf("returned\n");
        return 3;
    }
    if (command == "pgm" && argc == 3) {
        char input[256];
        pgm_init("dat", nullptr, nullptr, argv[2], input);
        return 5;
    }
    if (command == "init") {
        err_init("Helper", "helper.rpt", 'Q', 'F');
        return 7;
    }
    return 2;
}
