// Program entry point.
#include <cstdio>
#include <cstring>

#include "shell/CTarnwatchApp.h"
#include "shell/Headless.h"

namespace {

void PrintHelp() {
    std::printf(
        "Usage: tarnwatch [--headless [--once]] [--help]\n"
        "\n"
        "Tarnwatch watches a list of services and alerts when one fails or comes back.\n"
        "Without options it starts in its window and keeps an icon in the notification area.\n"
        "\n"
        "  --headless   run without a window: load the list and the settings, run the\n"
        "               schedule, and print one line per tested entry on standard output\n"
        "               (time, address, service test, status, attempt). SIGTERM, SIGINT\n"
        "               and SIGHUP end it after saving the settings and the list.\n"
        "  --once       with --headless: test every entry once, print the list as a table,\n"
        "               save the list file and exit with 0 when every enabled entry is ok,\n"
        "               1 for a warning or information, 2 for an error.\n"
        "  --help       this text.\n"
        "\n"
        "A second copy refuses to start while one runs (exit code 255).\n"
        "\n"
        "Files:\n"
        "  list of entries  $TARNWATCH_HOME/Tarnwatch.ini, else\n"
        "                   $XDG_DATA_HOME/Tarnwatch/Tarnwatch.ini\n"
        "                   (default ~/.local/share/Tarnwatch); backup Tarnwatch.bak beside it\n"
        "  settings         ~/.config/Quillon/Tarnwatch.conf (under $XDG_CONFIG_HOME if set)\n"
        "\n"
        "In the window, SIGTERM, SIGINT, SIGHUP and the end of the session also save the\n"
        "settings and the list before the program ends.\n");
}

}  // namespace

int main(int argc, char** argv) {
    bool headless = false;
    bool once = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintHelp();
            return 0;
        } else if (std::strcmp(argv[i], "--headless") == 0) {
            headless = true;
        } else if (std::strcmp(argv[i], "--once") == 0) {
            once = true;
        } else if (std::strncmp(argv[i], "--", 2) == 0) {
            // Single-dash options belong to Qt (-platform, -style, ...).
            std::fprintf(stderr, "tarnwatch: unknown option '%s' (see --help)\n", argv[i]);
            return 2;
        }
    }
    if (once && !headless) {
        std::fprintf(stderr, "tarnwatch: --once goes with --headless (see --help)\n");
        return 2;
    }
    if (headless) return tarnwatch::RunHeadless(argc, argv, once);
    tarnwatch::CTarnwatchApp app;
    return app.Run(argc, argv);
}
