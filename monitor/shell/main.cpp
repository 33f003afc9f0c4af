// Program entry point.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/ListTextFile.h"
#include "engine/Settings.h"
#include "res/StringTable.h"
#include "shell/CTarnwatchApp.h"
#include "shell/Headless.h"

namespace {

void PrintHelp() {
    std::printf(
        "Usage: tarnwatch [--headless [--once [--json]]] [--parallel N]\n"
        "                 [--metrics-file PATH] [--metrics-listen [ADDRESS:]PORT] [--help]\n"
        "       tarnwatch --export FILE | --import FILE\n"
        "\n"
        "Tarnwatch watches a list of services and alerts when one fails or comes back.\n"
        "Without options it starts in its window and keeps an icon in the notification area.\n"
        "\n"
        "  --headless   run without a window: load the list and the settings, run the\n"
        "               schedule, and print one line per tested entry on standard output\n"
        "               (time, address, service test, status, attempt). SIGTERM, SIGINT\n"
        "               and SIGHUP end it after saving the settings and the list.\n"
        "  --once       with --headless: test every entry once, print a status line in the\n"
        "               form monitoring plugins use, then the list as a table, save the list\n"
        "               file and exit with 0 when every enabled entry is ok, 1 for a warning\n"
        "               or information, 2 for an error, 3 when the list cannot be read or\n"
        "               the report cannot be written.\n"
        "               What the entries' programs print goes to standard error.\n"
        "  --json       with --once: print one JSON document of every entry instead.\n"
        "  --parallel N test up to N entries (1 to 256) at once; their outcomes are still\n"
        "               judged, shown and alerted in row order. Overrides the profile's\n"
        "               [Options] ParallelTests value; 1 tests one entry after the other.\n"
        "  --metrics-file PATH\n"
        "               after every test pass, replace PATH with the metrics in the\n"
        "               Prometheus text format (for a textfile collector). Overrides the\n"
        "               profile's [Metrics] MetricsFile value; an empty PATH writes none.\n"
        "  --metrics-listen [ADDRESS:]PORT\n"
        "               serve the same metrics over HTTP at /metrics; a bare port listens\n"
        "               on 127.0.0.1 only. ADDRESS is a dotted IPv4 address, localhost or\n"
        "               [IPv6]; 0.0.0.0 serves every IPv4 interface, [::] every IPv6 one.\n"
        "  --export FILE\n"
        "               write the list in its text form (TOML, one [[entry]] table per\n"
        "               entry) to FILE, or to standard output for -, and exit. Needs no\n"
        "               running copy to stop and changes no file but FILE.\n"
        "  --import FILE\n"
        "               replace the list with the one in the text file FILE (- for\n"
        "               standard input) and exit. Every entry is checked first; on any\n"
        "               error nothing changes and the message names the line. The list\n"
        "               replaced is kept as Tarnwatch-replaced-DATE-TIME.ini beside it.\n"
        "               Refused while a running copy holds the list.\n"
        "               Both exit with 0 when done, 2 on an error (export: 1 when the\n"
        "               list file is damaged and only its whole entries were written).\n"
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

// The value of option `name` at argv[i], given as "--name VALUE" or
// "--name=VALUE"; advances `i` past it. False when argv[i] is not the option.
bool OptionValue(const char* name, int argc, char** argv, int& i, const char*& value) {
    const std::size_t n = std::strlen(name);
    if (std::strncmp(argv[i], name, n) != 0) return false;
    if (argv[i][n] == '=') {
        value = argv[i] + n + 1;
        return true;
    }
    if (argv[i][n] != '\0') return false;
    value = i + 1 < argc ? argv[++i] : nullptr;
    return true;
}

// --export and --import: the list's text form in or out, then the exit.
int RunListText(bool exporting, const std::string& file) {
    const tarnwatch::ListFilePaths paths = tarnwatch::ListFileLocation();
    const tarnwatch::TextListOutcome outcome =
        exporting ? tarnwatch::ExportListText(paths, file) : tarnwatch::ImportListText(paths, file);
    if (!outcome.message.empty()) std::fprintf(stderr, "tarnwatch: %s\n", outcome.message.c_str());
    return outcome.code;
}

}  // namespace

int main(int argc, char** argv) {
    bool headless = false;
    tarnwatch::HeadlessOptions options;
    bool& once = options.once;
    bool exporting = false;
    std::string textFile;
    for (int i = 1; i < argc; ++i) {
        const char* value = nullptr;
        if (OptionValue("--metrics-file", argc, argv, i, value)) {
            if (!value) {
                std::fprintf(stderr, "tarnwatch: --metrics-file needs a path (see --help)\n");
                return 2;
            }
            options.metrics.file = value;
            continue;
        }
        if (OptionValue("--metrics-listen", argc, argv, i, value)) {
            tarnwatch::ListenAddress where;
            std::string why = "an address is needed";
            if (!value || !tarnwatch::ParseListenAddress(value, where, &why)) {
                std::fprintf(stderr, "tarnwatch: --metrics-listen: %s (see --help)\n", why.c_str());
                return 2;
            }
            options.metrics.listen = where;
            continue;
        }
        if (OptionValue("--parallel", argc, argv, i, value)) {
            char* rest = nullptr;
            const long n = value ? std::strtol(value, &rest, 10) : 0;
            if (!value || *value == '\0' || *rest != '\0' || n < 1 ||
                n > tarnwatch::kMaxParallelTests) {
                std::fprintf(stderr, "tarnwatch: %s (see --help)\n",
                             tarnwatch::LoadString(tarnwatch::IDS_BAD_PARALLEL));
                return 2;
            }
            options.parallel = static_cast<int>(n);
            continue;
        }
        const bool exportOption = OptionValue("--export", argc, argv, i, value);
        if (exportOption || OptionValue("--import", argc, argv, i, value)) {
            if (!value) {
                std::fprintf(stderr, "tarnwatch: %s needs a file (see --help)\n",
                             exportOption ? "--export" : "--import");
                return 2;
            }
            if (!textFile.empty()) {
                std::fprintf(stderr, "tarnwatch: one --export or --import at a time\n");
                return 2;
            }
            exporting = exportOption;
            textFile = value;
            continue;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintHelp();
            return 0;
        } else if (std::strcmp(argv[i], "--headless") == 0) {
            headless = true;
        } else if (std::strcmp(argv[i], "--once") == 0) {
            once = true;
        } else if (std::strcmp(argv[i], "--json") == 0) {
            options.json = true;
        } else if (std::strncmp(argv[i], "--", 2) == 0) {
            // Single-dash options belong to Qt (-platform, -style, ...).
            std::fprintf(stderr, "tarnwatch: unknown option '%s' (see --help)\n", argv[i]);
            return 2;
        }
    }
    if (!textFile.empty()) {
        if (headless || once || options.json) {
            std::fprintf(stderr, "tarnwatch: --export and --import go alone (see --help)\n");
            return 2;
        }
        return RunListText(exporting, textFile);
    }
    if (once && !headless) {
        std::fprintf(stderr, "tarnwatch: --once goes with --headless (see --help)\n");
        return 2;
    }
    if (options.json && !once) {
        std::fprintf(stderr, "tarnwatch: --json goes with --headless --once (see --help)\n");
        return 2;
    }
    if (headless) return tarnwatch::RunHeadless(argc, argv, options);
    tarnwatch::CTarnwatchApp app;
    app.metrics = options.metrics;
    app.parallel = options.parallel;
    return app.Run(argc, argv);
}
