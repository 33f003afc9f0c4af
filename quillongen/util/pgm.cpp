// QuillonGen program frame: command-line rules, report mode, banners, the
// status line and the table directory of a program found on PATH.
#include "quillongen/pgm.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "quillongen/err.h"
#include "quillongen/lck.h"
#include "quillongen/str.h"
#include "time_text.h"

char prg_name[256];

namespace {

constexpr long kDefaultStatusWidth = 80;
constexpr long kStatusLimit = 256;
constexpr const char* kStars = "*******************************************************\n";
constexpr const char* kDots = ".......................................................\n";

struct PgmState {
    QgWindow statusWindow = nullptr;
    long statusWidth = kDefaultStatusWidth;
    char statusLine[kStatusLimit] = "";
    QgInstance instance = nullptr;
    PgmStatusTextHandler statusText = nullptr;
};
PgmState g;

void copyBounded(char* dest, size_t size, const std::string& text) {
    std::snprintf(dest, size, "%s", text.c_str());
}

std::string orNull(const char* value) {
    return value == nullptr ? "(null)" : value;
}

// Adds "." and ext to a name that holds no dot anywhere.
std::string withExtension(const std::string& name, const char* ext) {
    if (name.find('.') != std::string::npos) return name;
    return name + "." + (ext == nullptr ? "" : ext);
}

std::vector<std::string> commandWords(const char* commandLine) {
    const short count = str_getNTokens(commandLine);
    if (count <= 0) return {std::string()};
    char** argv = str_cclParse(commandLine);
    std::vector<std::string> words;
    for (short i = 0; i < count && argv[i] != nullptr; ++i) words.emplace_back(argv[i]);
    if (words.empty()) words.emplace_back();
    return words;
}

// The program as called, without directory and without extension.
std::string programName(const std::string& called) {
    const size_t slash = called.find_last_of("/\\");
    std::string name = slash == std::string::npos ? called : called.substr(slash + 1);
    return name.substr(0, name.find('.'));
}

long clampWidth(long width) {
    return std::clamp(width, 1L, kStatusLimit);
}

}  // namespace

float pgm_versionNumber(void) {
    return 1.6f;
}

short pgm_init(const char* inputExt, QgInstance instance, QgWindow statusWindow,
               const char* commandLine, char* inputFile) {
    const char* line = commandLine == nullptr ? "" : commandLine;
    char errorMode = 'F';
    char reportMode = 'V';
    const std::vector<std::string> words = commandWords(line);
    const char* modeWord = std::getenv("REPORT_MODE");
    const std::string mode = modeWord == nullptr ? "VERBOSE" : modeWord;
    if (mode == "QUIET" || mode == "quiet") reportMode = 'Q';
    copyBounded(prg_name, sizeof prg_name, programName(words[0]));

    std::string input;
    std::string report = std::string(prg_name) + ".rpt";
    if (words.size() == 1) {
        errorMode = 'Q';
    } else if (words.size() <= 3) {
        input = withExtension(words[1], inputExt);
        if (words.size() == 3) report = withExtension(words[2], "rpt");
    } else {
        err_init(prg_name, report.c_str(), reportMode, errorMode);
        pgm_banr(line, prg_name, "ERROR", report.c_str(), errorMode, reportMode);
        copyBounded(curr_fun, sizeof curr_fun, "  pgm_init");
        err_mess(ERR_LEVEL_FATAL, PGM_TOO_MANY_ARGUMENTS, "Only two arguments are permitted.");
    }

    if (err_init(prg_name, report.c_str(), reportMode, errorMode) != 0)
        err_mess(ERR_LEVEL_FATAL, 0, "Check user permissions on current working disk.");

    if (const char* width = std::getenv("STATUS_LINE_LENGTH"); width != nullptr) {
        const long value = std::strtol(width, nullptr, 10);
        if (value > 0) g.statusWidth = clampWidth(value);
    }
    copyBounded(g.statusLine, sizeof g.statusLine, std::string("Initializing ") + prg_name);
    g.statusWindow = statusWindow;

    pgm_banr(line, prg_name, input.c_str(), report.c_str(), errorMode, reportMode);
    if (inputFile != nullptr) copyBounded(inputFile, 256, input);
    g.instance = instance;
    return 1;
}

int pgm_banr(const char* commandLine, const char* programName, const char* inputFile,
             const char* reportFile, char errorMode, char reportMode) {
    const std::string program = programName == nullptr ? "" : programName;
    const std::string input = inputFile == nullptr ? "" : inputFile;
    const std::string report = reportFile == nullptr ? "" : reportFile;
    err_rprt(kStars);
    err_rprt(("            ------ Program: " + program + " ------").c_str());
    err_rprt(("               " + quillongen::standardTime(std::time(nullptr)) + " ").c_str());
    err_rprt((std::string("Command line: ") + (commandLine == nullptr ? "" : commandLine) + " \n")
                 .c_str());
    err_rprt(("Username: " + orNull(std::getenv("USERNAME")) +
              "         Computer: " + orNull(std::getenv("USERDOMAIN")) + "\n")
                 .c_str());
    err_rprt((errorMode == 'Q' ? std::string("Input: QUERY (no file)\n")
                               : "Input: FILE (" + input + ")\n")
                 .c_str());
    err_rprt((reportMode == 'V' ? "Output: VERBOSE (" + report + " + screen)\n"
                                : "Output: QUIET (" + report + ")\n")
                 .c_str());
    err_rprt(kDots);
    return 0;
}

void pgm_exit(void) {
    const std::string now = quillongen::standardTime(std::time(nullptr));
    err_rprt((std::string("\n") + kDots).c_str());
    err_rprt("          ------ Program Termination ------");
    err_rprt(("               " + now).c_str());
    err_rprt(kStars);
    err_close();
    lck_unlockAllFiles();
}

short pgm_prompt(const char* text, unsigned long style) {
    return err_prmp(text, style);
}

void pgm_mess(const char* text) {
    err_prmp(text, ERR_STYLE_OK);
}

void pgm_rprt(const char* text) {
    err_rprt(text);
}

PgmStatusTextHandler pgm_setStatusTextHandler(PgmStatusTextHandler handler) {
    PgmStatusTextHandler previous = g.statusText;
    g.statusText = handler;
    return previous;
}

void pgm_status(const char* text) {
    const size_t shown = static_cast<size_t>(clampWidth(g.statusWidth) - 1);
    std::memset(g.statusLine, ' ', shown);
    g.statusLine[shown] = '\0';
    if (text != nullptr) std::memcpy(g.statusLine, text, strnlen(text, shown));
    if (g.statusWindow != nullptr && g.statusText != nullptr) {
        g.statusText(g.statusWindow, g.statusLine);
        return;
    }
    // On the terminal the line is rewritten in place.
    std::fputc('\r', stdout);
    std::fputs(g.statusLine, stdout);
    std::fflush(stdout);
}

void pgm_statusWindowWidth(long width) {
    g.statusWidth = clampWidth(std::max(width, g.statusWidth));
}

void pgm_sleep(long milliseconds) {
    if (milliseconds <= 0) return;
    timespec rest{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

void pgm_wakeUp(void) {}

int pgm_setTableLocation(const char* programName) {
    if (programName == nullptr || programName[0] == '\0') return 1;
    std::string found;
    auto isProgram = [](const std::string& path) {
        struct stat st;
        return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
               access(path.c_str(), X_OK) == 0;
    };
    if (std::strchr(programName, '/') != nullptr) {
        if (isProgram(programName)) found = programName;
    } else if (const char* path = std::getenv("PATH"); path != nullptr) {
        const std::string dirs = path;
        size_t start = 0;
        while (found.empty() && start <= dirs.size()) {
            size_t end = dirs.find(':', start);
            if (end == std::string::npos) end = dirs.size();
            const std::string dir = end > start ? dirs.substr(start, end - start) : ".";
            if (isProgram(dir + "/" + programName)) found = dir + "/" + programName;
            start = end + 1;
        }
    }
    if (!found.empty()) {
        const size_t slash = found.find_last_of('/');
        const std::string dir = slash == std::string::npos ? "." : found.substr(0, slash);
        setenv("XRDTBL", (dir.empty() ? std::string("/Tables") : dir + "/Tables").c_str(), 1);
    }
    return 1;
}

CQuillonPgm::CQuillonPgm() = default;

CQuillonPgm& CQuillonPgm::operator=(const CQuillonPgm&) {
    return *this;
}
