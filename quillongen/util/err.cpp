// QuillonGen message family: the message table, the framed report file, the
// message boxes (through the host's handler, else standard output) and the
// fatal levels.
#include "quillongen/err.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "quillongen/dio.h"
#include "quillongen/pgm.h"

char curr_fun[32];

namespace {

constexpr const char* kSeparator = "\n?!?!?!?!?!?!?!?!?!?!?!?!?!?!?!?!?!?!?!?!?!?!?!?!?!?!?!?";
constexpr const char* kTableName = "err_lib.tbl";
constexpr size_t kLineLimit = 4096;  // longer table lines are cut; the rest is skipped
constexpr char kBell = '\x07';

struct ErrState {
    char title[256] = "";
    FILE* report = nullptr;
    FILE* table = nullptr;
    bool screen = false;
    char errorMode = '\0';
    ErrMessageBoxHandler messageBox = nullptr;
    bool ending = false;  // the fatal path is running; a nested fatal only ends
};
ErrState g;

void copyBounded(char* dest, size_t size, const char* text) {
    std::snprintf(dest, size, "%s", text == nullptr ? "" : text);
}

struct LevelStyle {
    const char* header;
    unsigned long style;
};

LevelStyle levelStyle(short level) {
    switch (level) {
        case ERR_LEVEL_NONE:
            return {"", 0};
        case ERR_LEVEL_INFORMATION:
            return {"\n INFORMATION !\n", ERR_ICON_INFORMATION};
        case ERR_LEVEL_WARNING:
            return {"\n WARNING !!\n", ERR_ICON_EXCLAMATION};
        case ERR_LEVEL_FATAL:
            return {"\n FATAL CONDITION !!!\n", ERR_ICON_STOP};
        case ERR_LEVEL_ERROR:
            return {"\n ERROR !!!!\n", ERR_ICON_STOP};
        default:
            return {"\n UNDEFINED EXCEPTION LEVEL !!!!\n", ERR_ICON_QUESTION};
    }
}

// One line of the table without its line end (a carriage return before it is
// dropped too); false at the end of the table.
bool readTableLine(std::string& line) {
    line.clear();
    if (g.table == nullptr) return false;
    int c;
    while ((c = std::getc(g.table)) != EOF && c != '\n')
        if (line.size() < kLineLimit) line += static_cast<char>(c);
    if (c == EOF && line.empty()) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

bool isDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The table directory of an installed library, found from the library's own
// file so that a relocated or staged installation uses its own table; empty
// where the library is not installed (the build tree). An installation is
// recognised by its data directory, so that one whose table directory went
// missing says so instead of asking for XRDTBL.
std::string installedTableDir() {
#ifdef QG_DATA_DIR_FROM_LIBDIR
    Dl_info info;
    if (dladdr(&g, &info) == 0 || info.dli_fname == nullptr) return {};
    const std::string library = info.dli_fname;
    const size_t slash = library.find_last_of('/');
    const std::string data =
        (slash == std::string::npos ? std::string(".") : library.substr(0, slash)) + "/" +
        QG_DATA_DIR_FROM_LIBDIR;
    return isDirectory(data) ? data + "/quillongen/Tables" : std::string();
#else
    return {};
#endif
}

bool isContinuation(const std::string& line) {
    return line.compare(0, 4, "    ") == 0;
}

int entryCode(const std::string& line) {
    return std::atoi(line.substr(0, 4).c_str());
}

std::string fromFifth(const std::string& line) {
    return line.size() > 4 ? line.substr(4) : std::string();
}

// Appends the table text of code, or the lines saying it is not there. The
// table is read from its current position: every lookup rewinds it after.
void appendTableText(std::string& message, int code) {
    int current = 0;
    std::string line;
    while (current < code) {
        bool got;
        while ((got = readTableLine(line)) && isContinuation(line)) {
        }
        if (!got) {
            current = -1;
            break;
        }
        current = entryCode(line);
    }
    if (current != code) {
        char lines[96];
        std::snprintf(lines, sizeof lines, " l_errcode, errcode: %d , %d\n", current, code);
        message += lines;
        message += " Exception code not in table !\n";
        return;
    }
    message += '\n';
    message += fromFifth(line);
    while (readTableLine(line) && isContinuation(line)) {
        message += '\n';
        message += fromFifth(line);
    }
}

std::string boxTitle() {
    return std::string(g.title) + curr_fun;
}

// Shows text in a box; without an answer the text goes to standard output,
// with the bell that a box would have rung.
int showBox(const std::string& text, const std::string& title, unsigned long style) {
    const int answer =
        g.messageBox != nullptr ? g.messageBox(text.c_str(), title.c_str(), style) : 0;
    if (answer == 0) {
        const std::string rung = text + kBell;
        dio_writeLine(stdout, rung.c_str());
        std::fflush(stdout);
    }
    return answer;
}

void writeFrame(FILE* out, const std::string& title, const std::string& message) {
    dio_writeLine(out, kSeparator);
    dio_writeLine(out, ("\n Module:\t " + title + "\n").c_str());
    dio_writeLine(out, message.c_str());
    dio_writeLine(out, kSeparator);
    std::fflush(out);
}

[[noreturn]] void endProgram() {
    if (!g.ending) {
        g.ending = true;
        pgm_exit();
    }
    std::fflush(nullptr);
    std::exit(0);
}

}  // namespace

float err_versionNumber(void) {
    return 1.0f;
}

ErrMessageBoxHandler err_setMessageBoxHandler(ErrMessageBoxHandler handler) {
    ErrMessageBoxHandler previous = g.messageBox;
    g.messageBox = handler;
    return previous;
}

short err_init(const char* title, const char* reportFile, char reportMode, char errorMode) {
    err_close();
    g.screen = reportMode == 'V';
    std::string dir;
    if (const char* tableDir = std::getenv("XRDTBL"); tableDir != nullptr) {
        char bounded[257];
        copyBounded(bounded, sizeof bounded, tableDir);
        dir = bounded;
    } else {
        dir = installedTableDir();
        if (dir.empty()) {
            copyBounded(curr_fun, sizeof curr_fun, "  err_init");
            err_mess(ERR_LEVEL_FATAL, 0, "Environment variable XRDTBL has not been set.");
        }
    }
    if (!isDirectory(dir) || access(dir.c_str(), X_OK) != 0) {
        copyBounded(curr_fun, sizeof curr_fun, "  err_init");
        err_mess(ERR_LEVEL_FATAL, 0, "Table directory does not exist as installed - reinstall.");
    }
    const std::string tablePath = dir + "/" + kTableName;
    copyBounded(g.title, sizeof g.title, title);
    g.errorMode = errorMode;
    g.report = dio_openFile(reportFile, "at", 0);
    if (g.report == nullptr) return ERR_NO_REPORT;
    g.table = dio_openFile(tablePath.c_str(), "rt", 0);
    if (g.table == nullptr) return ERR_NO_TABLE;
    return 0;
}

void err_close(void) {
    if (g.table != nullptr) dio_closeFile(g.table);
    if (g.report != nullptr) dio_closeFile(g.report);
    g.table = nullptr;
    g.report = nullptr;
}

void err_mess(short level, short code, const char* text) {
    const LevelStyle ls = levelStyle(level);
    std::string message = ls.header;
    if (code > 0) {
        message += " Exception Code:\t " + std::to_string(code);
        appendTableText(message, code);
    }
    const std::string title = boxTitle();
    if (text != nullptr && text[0] != '\0') message += std::string("\n ") + text;
    const bool fatal = level == ERR_LEVEL_FATAL || (level == ERR_LEVEL_ERROR && g.errorMode == 'F');
    if (g.report != nullptr) writeFrame(g.report, title, message);
    if (g.screen) showBox(message, title, ls.style);
    // A program must not end without a word because nothing was set up to
    // carry the message: standard error takes it then.
    if (fatal && g.report == nullptr && !g.screen) writeFrame(stderr, title, message);
    curr_fun[0] = '\0';
    if (fatal) endProgram();
    if (code > 0 && g.table != nullptr && dio_rewind(g.table) != 0) {
        if (g.report != nullptr)
            dio_writeLine(g.report, " Error repositionning within message table!\n");
        if (g.screen) showBox("\n Error repositionning within message table!\n", g.title, ls.style);
    }
}

short err_prmp(const char* text, unsigned long style) {
    const std::string title = boxTitle();
    if (text == nullptr || text[0] == '\0') return -1;
    int answer = -1;
    if (g.screen) answer = showBox(text, title, style | ERR_ICON_QUESTION);
    curr_fun[0] = '\0';
    return static_cast<short>(answer);
}

short err_prompt(const char* text) {
    return err_prmp(text, ERR_STYLE_YES_NO_CANCEL | ERR_ICON_QUESTION);
}

void err_rprt(const char* text) {
    if (g.report == nullptr || text == nullptr || text[0] == '\0') return;
    dio_writeLine(g.report, text);
    std::fflush(g.report);
}

CQuillonErr::CQuillonErr() = default;

CQuillonErr& CQuillonErr::operator=(const CQuillonErr&) {
    return *this;
}
