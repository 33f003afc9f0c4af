// Program entry point.
#include <cstdio>
#include <cstring>

#include "shell/CTarnwatchApp.h"

namespace {

void PrintHelp() {
    std::printf(
        "Usage: tarnwatch [--help]\n"
        "\n"
        "Tarnwatch watches a list of services and alerts when one fails or comes back.\n"
        "It starts in its window and keeps an icon in the notification area.\n"
        "\n"
        "Files:\n"
        "  list of entries  $TARNWATCH_HOME/Tarnwatch.ini, else\n"
        "                   $XDG_DATA_HOME/Tarnwatch/Tarnwatch.ini\n"
        "                   (default ~/.local/share/Tarnwatch); backup Tarnwatch.bak beside it\n"
        "  settings         ~/.config/Quillon/Tarnwatch.conf\n"
        "\n"
        "SIGTERM, SIGINT and SIGHUP end the program after saving the settings and the list.\n");
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintHelp();
            return 0;
        }
    }
    tarnwatch::CTarnwatchApp app;
    return app.Run(argc, argv);
}
