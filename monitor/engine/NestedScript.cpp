// Finding values that land in the code of a second interpreter; see
// NestedScript.h.
#include "engine/NestedScript.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/ShellQuoting.h"

namespace tarnwatch {

namespace {

enum class Kind {
    kNone,
    kWrapper,    // runs the command named by one of its later words
    kShell,      // with -c, its first operand is code; without, it reads stdin
    kFlagged,    // the argument of one of its options is code
    kAllWords,   // every later word is code (eval, watch, ...)
    kSsh,        // every word after the destination is code
    kAwk,        // its first operand is its program
    kStdinOnly,  // runs what its standard input says
};

struct Interpreter {
    const char* name;
    Kind kind;
    const char* letters;  // short options whose argument is code
    const char* longs;    // long options likewise, blank-separated
};

constexpr const char* kShellLongs = "--command";

constexpr Interpreter kInterpreters[] = {
    {"sh", Kind::kShell, "c", kShellLongs},
    {"bash", Kind::kShell, "c", kShellLongs},
    {"rbash", Kind::kShell, "c", kShellLongs},
    {"dash", Kind::kShell, "c", kShellLongs},
    {"ash", Kind::kShell, "c", kShellLongs},
    {"zsh", Kind::kShell, "c", kShellLongs},
    {"ksh", Kind::kShell, "c", kShellLongs},
    {"mksh", Kind::kShell, "c", kShellLongs},
    {"lksh", Kind::kShell, "c", kShellLongs},
    {"pdksh", Kind::kShell, "c", kShellLongs},
    {"oksh", Kind::kShell, "c", kShellLongs},
    {"yash", Kind::kShell, "c", kShellLongs},
    {"posh", Kind::kShell, "c", kShellLongs},
    {"fish", Kind::kShell, "c", kShellLongs},
    {"csh", Kind::kShell, "c", kShellLongs},
    {"tcsh", Kind::kShell, "c", kShellLongs},
    {"python", Kind::kFlagged, "c", ""},
    {"pypy", Kind::kFlagged, "c", ""},
    {"perl", Kind::kFlagged, "eE", ""},
    {"ruby", Kind::kFlagged, "e", ""},
    {"node", Kind::kFlagged, "ep", "--eval --print"},
    {"nodejs", Kind::kFlagged, "ep", "--eval --print"},
    {"php", Kind::kFlagged, "r", ""},
    {"lua", Kind::kFlagged, "e", ""},
    {"luajit", Kind::kFlagged, "e", ""},
    {"su", Kind::kFlagged, "c", "--command --session-command"},
    {"runuser", Kind::kFlagged, "c", "--command --session-command"},
    {"script", Kind::kFlagged, "c", "--command"},
    {"flock", Kind::kFlagged, "c", "--command"},
    {"eval", Kind::kAllWords, "", ""},
    {"watch", Kind::kAllWords, "", ""},
    {"sg", Kind::kAllWords, "", ""},
    {"tmux", Kind::kAllWords, "", ""},
    {"parallel", Kind::kAllWords, "", ""},
    {"ssh", Kind::kSsh, "", ""},
    {"awk", Kind::kAwk, "", "--source"},
    {"gawk", Kind::kAwk, "", "--source"},
    {"mawk", Kind::kAwk, "", "--source"},
    {"nawk", Kind::kAwk, "", "--source"},
    {"at", Kind::kStdinOnly, "", ""},
    {"batch", Kind::kStdinOnly, "", ""},
    {"env", Kind::kWrapper, "", ""},
    {"sudo", Kind::kWrapper, "", ""},
    {"doas", Kind::kWrapper, "", ""},
    {"pkexec", Kind::kWrapper, "", ""},
    {"setpriv", Kind::kWrapper, "", ""},
    {"nohup", Kind::kWrapper, "", ""},
    {"nice", Kind::kWrapper, "", ""},
    {"ionice", Kind::kWrapper, "", ""},
    {"chrt", Kind::kWrapper, "", ""},
    {"taskset", Kind::kWrapper, "", ""},
    {"timeout", Kind::kWrapper, "", ""},
    {"setsid", Kind::kWrapper, "", ""},
    {"exec", Kind::kWrapper, "", ""},
    {"command", Kind::kWrapper, "", ""},
    {"builtin", Kind::kWrapper, "", ""},
    {"time", Kind::kWrapper, "", ""},
    {"xargs", Kind::kWrapper, "", ""},
    {"find", Kind::kWrapper, "", ""},
    {"busybox", Kind::kWrapper, "", ""},
    {"stdbuf", Kind::kWrapper, "", ""},
    {"unbuffer", Kind::kWrapper, "", ""},
    {"chroot", Kind::kWrapper, "", ""},
    {"nsenter", Kind::kWrapper, "", ""},
    {"unshare", Kind::kWrapper, "", ""},
    {"systemd-run", Kind::kWrapper, "", ""},
};

constexpr const char* kReservedWords[] = {"!",    "{",  "if",    "then", "else",
                                          "elif", "do", "while", "until"};

// The interpreter a command word names, with or without a path; a version
// after the name ("python3.11", "perl5.36") names the same interpreter.
const Interpreter* Lookup(std::string_view word) {
    const std::size_t slash = word.rfind('/');
    if (slash != std::string_view::npos) word.remove_prefix(slash + 1);
    for (const Interpreter& i : kInterpreters) {
        const std::string_view name = i.name;
        if (!word.starts_with(name)) continue;
        const std::string_view rest = word.substr(name.size());
        if (std::all_of(rest.begin(), rest.end(),
                        [](char c) { return (c >= '0' && c <= '9') || c == '.'; })) {
            return &i;
        }
    }
    return nullptr;
}

Kind KindOf(std::string_view word) {
    const Interpreter* i = Lookup(word);
    return i ? i->kind : Kind::kNone;
}

bool IsLongOption(std::string_view word, const char* longs) {
    std::string_view rest = longs;
    while (!rest.empty()) {
        const std::size_t blank = rest.find(' ');
        if (rest.substr(0, blank) == word) return true;
        if (blank == std::string_view::npos) break;
        rest.remove_prefix(blank + 1);
    }
    return false;
}

// "--command=..." and the like: the option and its argument in one word.
bool StartsWithLongOption(std::string_view word, const char* longs) {
    const std::size_t eq = word.find('=');
    return eq != std::string_view::npos && IsLongOption(word.substr(0, eq), longs);
}

// A cluster of short options ("-xc", "+o").
bool IsShortCluster(std::string_view word) {
    return word.size() > 1 && (word[0] == '-' || word[0] == '+') && word[1] != '-';
}

bool HasLetter(std::string_view cluster, const char* letters) {
    return letters[0] != '\0' && cluster.substr(1).find_first_of(letters) != std::string_view::npos;
}

bool IsAssignment(std::string_view word) {
    const std::size_t eq = word.find('=');
    if (eq == 0 || eq == std::string_view::npos) return false;
    return std::all_of(word.begin(), word.begin() + static_cast<std::ptrdiff_t>(eq), [](char c) {
        return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               (c >= '0' && c <= '9');
    });
}

using Words = std::vector<std::string>;

// With -c, a shell runs its first operand; `prefix` is what the next word
// holds so far.
bool ShellScriptNext(const Words& w, std::size_t k, std::string_view prefix) {
    bool sawFlag = false;
    bool optionsDone = false;
    for (std::size_t j = k + 1; j < w.size(); ++j) {
        const std::string& word = w[j];
        if (optionsDone || !(IsShortCluster(word) || word.starts_with("--"))) return false;
        if (word == "--") {
            optionsDone = true;
        } else if (word == "--command" || (IsShortCluster(word) && HasLetter(word, "c"))) {
            sawFlag = true;
        } else if (word == "-o" || word == "+o" || word == "-O" || word == "+O" ||
                   word == "--rcfile" || word == "--init-file") {
            ++j;  // the option's argument
        }
    }
    return sawFlag || prefix.starts_with("--command=");
}

// The argument of one of the interpreter's code options: the next word after
// "-e" or "-le", or the rest of the word itself ("-e@S", "--eval=@S").
bool FlaggedScriptNext(const Words& w, std::size_t k, std::string_view prefix,
                       const Interpreter& i) {
    if (w.size() > k + 1) {
        const std::string& last = w.back();
        if (IsShortCluster(last) && last[0] == '-' &&
            std::strchr(i.letters, last.back()) != nullptr) {
            return true;
        }
        if (IsLongOption(last, i.longs)) return true;
    }
    if (IsShortCluster(prefix) && prefix[0] == '-' && HasLetter(prefix, i.letters)) return true;
    return StartsWithLongOption(prefix, i.longs);
}

// ssh joins every word after the destination into the remote command; the
// commands of ProxyCommand and LocalCommand run here.
bool SshScriptNext(const Words& w, std::size_t k, std::string_view prefix) {
    static constexpr char kWithArgument[] = "BbcDEeFIiJLlmOoPpQRSWw";
    bool optionsDone = false;
    std::size_t j = k + 1;
    for (; j < w.size(); ++j) {
        const std::string& word = w[j];
        if (!optionsDone && word == "--") {
            optionsDone = true;
            continue;
        }
        if (optionsDone || !IsShortCluster(word) || word[0] != '-') return true;
        for (std::size_t p = 1; p < word.size(); ++p) {
            if (std::strchr(kWithArgument, word[p]) == nullptr) continue;
            if (p + 1 == word.size()) ++j;
            break;
        }
    }
    // The next word is an option's argument, or the destination.
    std::string lowered(prefix);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    const bool optionArgument = j > w.size() || lowered.starts_with("-o");
    return optionArgument && lowered.find("command") != std::string::npos;
}

// awk's first operand is its program, unless -f named a file; -e and
// --source give program text too.
bool AwkScriptNext(const Words& w, std::size_t k, std::string_view prefix, const Interpreter& i) {
    bool fromFile = false;
    for (std::size_t j = k + 1; j < w.size(); ++j) {
        const std::string& word = w[j];
        if (word == "--") continue;
        if (!IsShortCluster(word) && !word.starts_with("--")) return false;
        if (word.starts_with("-f")) fromFile = true;
        if (word == "-e" || IsLongOption(word, i.longs)) {
            if (j + 1 == w.size()) return true;
            ++j;
        } else if (word == "-F" || word == "-v" || word == "-f" || word == "-i" || word == "-l" ||
                   word == "-E") {
            ++j;
        }
    }
    return !fromFile || StartsWithLongOption(prefix, i.longs);
}

// Whether the next word of the simple command `w`, whose command starts at
// word `k`, is code to a second interpreter.
bool ScriptNextFrom(const Words& w, std::size_t k, std::string_view prefix) {
    if (k >= w.size()) return false;  // the next word names the command
    const Interpreter* i = Lookup(w[k]);
    if (!i) return false;
    switch (i->kind) {
        case Kind::kWrapper:
            // Wrappers' options differ: any later word may be the command.
            // Wrappers behind wrappers are covered by this same sweep.
            for (std::size_t j = k + 1; j < w.size(); ++j) {
                const Kind inner = KindOf(w[j]);
                if (inner == Kind::kNone || inner == Kind::kWrapper) continue;
                if (ScriptNextFrom(w, j, prefix)) return true;
            }
            return false;
        case Kind::kShell:
            return ShellScriptNext(w, k, prefix);
        case Kind::kFlagged:
            return FlaggedScriptNext(w, k, prefix, *i);
        case Kind::kAllWords:
            return true;
        case Kind::kSsh:
            return SshScriptNext(w, k, prefix);
        case Kind::kAwk:
            return AwkScriptNext(w, k, prefix, *i);
        case Kind::kStdinOnly:
        case Kind::kNone:
            return false;
    }
    return false;
}

std::size_t CommandStart(const Words& w) {
    std::size_t k = 0;
    while (k < w.size() &&
           (IsAssignment(w[k]) || std::find(std::begin(kReservedWords), std::end(kReservedWords),
                                            w[k]) != std::end(kReservedWords))) {
        ++k;
    }
    return k;
}

// Whether the command `w` from word `k` on runs what its standard input says.
bool RunsItsInput(const Words& w, std::size_t k) {
    if (k >= w.size()) return false;
    const Interpreter* i = Lookup(w[k]);
    if (!i) return false;
    switch (i->kind) {
        case Kind::kWrapper: {
            // xargs and find turn their input into arguments: an interpreter
            // behind them may take it as code, whatever its options.
            bool inputAsArguments = false;
            for (std::size_t j = k; j < w.size(); ++j) {
                const Interpreter* inner = Lookup(w[j]);
                if (!inner) continue;
                if (inner->kind == Kind::kWrapper) {
                    const std::string_view name = inner->name;
                    inputAsArguments = inputAsArguments || name == "xargs" || name == "find";
                    continue;
                }
                if (inputAsArguments || RunsItsInput(w, j)) return true;
            }
            return false;
        }
        case Kind::kShell:
        case Kind::kFlagged:
            for (std::size_t j = k + 1; j < w.size(); ++j) {
                const std::string& word = w[j];
                if (IsShortCluster(word) && HasLetter(word, i->letters)) return false;
                if (IsLongOption(word, i->longs) || StartsWithLongOption(word, i->longs)) {
                    return false;
                }
                // A script file or a user name: the input is data.
                if (!IsShortCluster(word) && !word.starts_with("--")) return word == "-";
            }
            return true;
        case Kind::kSsh:
        case Kind::kStdinOnly:
            return true;
        case Kind::kAllWords:
        case Kind::kAwk:
        case Kind::kNone:
            return false;
    }
    return false;
}

// One simple command being read, at one level of command substitution.
struct Stage {
    Words words;
    std::string word;  // the word being read, quotes removed
    bool inWord = false;
    bool redirectTarget = false;      // the word being read names a file
    std::vector<std::size_t> values;  // values placed in this command
    std::vector<std::size_t> piped;   // values of earlier commands of its pipeline
};

class Scanner {
public:
    bool Run(std::string_view line, const std::vector<std::size_t>& offsets) {
        std::size_t next = 0;
        for (std::size_t i = 0; i <= line.size(); ++i) {
            for (; next < offsets.size() && offsets[next] == i; ++next) PlaceValue(i);
            if (i == line.size()) break;
            Feed(line[i]);
        }
        while (!levels_.empty()) {
            EndWord(' ');
            EndCommand(false);
            levels_.pop_back();
        }
        return found_;
    }

private:
    void PlaceValue(std::size_t offset) {
        if (tracker_.Context() == ShellContext::kComment) return;
        for (const Stage& s : levels_) {
            if (s.redirectTarget) continue;
            if (ScriptNextFrom(s.words, CommandStart(s.words), s.inWord ? s.word : "")) {
                found_ = true;
            }
        }
        levels_.back().values.push_back(offset);
    }

    void Feed(char c) {
        const int depthBefore = tracker_.CommandDepth();
        const bool splits = tracker_.SplitsWords();
        tracker_.Feed(c);
        const int depthAfter = tracker_.CommandDepth();
        const char prev = prevOperator_;
        prevOperator_ = 0;
        if (depthAfter > depthBefore) {
            // The substitution is part of the word around it.
            levels_.back().inWord = true;
            levels_.emplace_back();
            return;
        }
        if (depthAfter < depthBefore && levels_.size() > 1) {
            EndWord(' ');
            EndCommand(false);
            levels_.pop_back();
            return;
        }
        Stage& s = levels_.back();
        if (!splits || tracker_.Context() == ShellContext::kComment) {
            if (tracker_.Context() != ShellContext::kComment) AddToWord(c);
            return;
        }
        if (c == ' ' || c == '\t') {
            EndWord(c);
        } else if (c == '\n' || c == ';' || c == '(' || c == ')') {
            EndWord(c);
            EndCommand(false);
        } else if (c == '|') {
            if (prev == '>' || prev == '<') {
                prevOperator_ = c;  // ">|"
            } else if (prev == '|') {
                s.piped.clear();  // "||" ends the pipeline after all
            } else {
                EndWord(c);
                EndCommand(true);
                prevOperator_ = c;
            }
        } else if (c == '&') {
            if (prev == '>' || prev == '<' || prev == '|') {
                prevOperator_ = c;  // ">&", "<&", "|&"
            } else {
                EndWord(c);
                EndCommand(false);
                prevOperator_ = c;
            }
        } else if (c == '<' || c == '>') {
            EndWord(c);
            s.redirectTarget = true;
            prevOperator_ = c;
        } else {
            AddToWord(c);
        }
    }

    void AddToWord(char c) {
        Stage& s = levels_.back();
        // Quotes and escapes are removed by the shell before the word is a
        // command's name.
        if (c != '\'' && c != '"' && c != '\\') s.word.push_back(c);
        s.inWord = true;
    }

    void EndWord(char by) {
        Stage& s = levels_.back();
        if (!s.inWord) return;
        const bool fdNumber =
            (by == '<' || by == '>') && !s.word.empty() &&
            std::all_of(s.word.begin(), s.word.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (s.redirectTarget) {
            s.redirectTarget = false;
        } else if (!fdNumber) {
            s.words.push_back(s.word);
        }
        s.word.clear();
        s.inWord = false;
    }

    void EndCommand(bool pipe) {
        Stage& s = levels_.back();
        if (!s.piped.empty() && RunsItsInput(s.words, CommandStart(s.words))) found_ = true;
        std::vector<std::size_t> carried;
        if (pipe) {
            carried = s.piped;
            carried.insert(carried.end(), s.values.begin(), s.values.end());
        }
        s = Stage{};
        s.piped = std::move(carried);
    }

    ShellContextTracker tracker_;
    std::vector<Stage> levels_{1};
    char prevOperator_ = 0;
    bool found_ = false;
};

}  // namespace

bool HarmlessInAnyScript(std::string_view value) {
    return std::all_of(value.begin(), value.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               (c != '\0' && std::strchr(" \t.-_:/@", c) != nullptr);
    });
}

bool AnyInNestedScript(std::string_view line, const std::vector<std::size_t>& offsets) {
    if (offsets.empty()) return false;
    return Scanner().Run(line, offsets);
}

}  // namespace tarnwatch
