// Expansion of variables and macros in command texts; see CommandExpand.h.
#include "engine/CommandExpand.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/MessageText.h"
#include "engine/NestedScript.h"
#include "engine/ShellQuoting.h"
#include "res/StringTable.h"

extern char** environ;

namespace tarnwatch {

namespace {

// The value of an environment variable. Stored commands were written for an
// environment whose names ignore case, so a name that is not set exactly is
// also looked up without regard to case.
const char* LookupVariable(const std::string& name) {
    if (name.empty() || name.find('=') != std::string::npos) return nullptr;
    if (const char* v = std::getenv(name.c_str())) return v;
    for (char** e = environ; e && *e; ++e) {
        const char* eq = std::strchr(*e, '=');
        if (eq && static_cast<std::size_t>(eq - *e) == name.size() &&
            strncasecmp(*e, name.c_str(), name.size()) == 0) {
            return eq + 1;
        }
    }
    return nullptr;
}

std::string FormatTime(std::int64_t when, const char* format) {
    std::time_t t = static_cast<std::time_t>(when);
    std::tm tm{};
    char buf[64] = "";
    if (localtime_r(&t, &tm)) std::strftime(buf, sizeof buf, format, &tm);
    return buf;
}

// The line being built: raw text is cut at the limit, a value is quoted and,
// when cut, still closed, so a cut can never open a way into the shell.
class Builder {
public:
    void Raw(std::string_view text) {
        for (char c : text) {
            if (full_ || out_.size() >= kCommandLineMax) {
                full_ = true;
                return;
            }
            out_.push_back(c);
            tracker_.Feed(c);
        }
    }
    void Value(std::string_view value) {
        // Refused whatever the value: the command, not the value, is at fault.
        if (tracker_.Uncertain()) refused_ = true;
        if (refused_ || full_ || value.empty()) return;
        QuotedValue q = QuoteForShell(value, tracker_.Context(), tracker_.InBackquotes());
        const std::size_t frame = q.prefix.size() + q.suffix.size();
        if (out_.size() + frame > kCommandLineMax) {
            full_ = true;
            return;
        }
        std::string body;
        for (const auto& piece : q.pieces) {
            if (out_.size() + frame + body.size() + piece.size() > kCommandLineMax) {
                full_ = true;
                break;
            }
            body += piece;
        }
        // Quoting holds for this shell only: where a second interpreter
        // reads the value, only harmless characters are let through.
        if (!HarmlessInAnyScript(value)) riskyValues_.push_back(out_.size());
        // The value leaves the quoting context as it found it, so the
        // tracker is not fed.
        out_ += q.prefix;
        out_ += body;
        out_ += q.suffix;
    }
    const std::string& Result() const { return out_; }
    bool Refused() const { return refused_ || AnyInNestedScript(out_, riskyValues_); }

private:
    std::string out_;
    ShellContextTracker tracker_;
    bool full_ = false;
    bool refused_ = false;
    std::vector<std::size_t> riskyValues_;  // where values with shell syntax begin
};

std::string MacroValue(char letter, const CommandMacros& m, bool& known) {
    known = true;
    switch (letter) {
        case 'A':
        case 'a':
            return m.address;
        case 'D':
        case 'd':
            return FormatTime(m.lastTestTime, "%d/%m/%y");
        case 'O':
        case 'o':
            return m.state == kStateAvailable ? "ok" : "ko";
        case 'P':
        case 'p':
            return m.source;
        case 'S':
        case 's':
            return m.statusCell.substr(0, kStatusMacroMax);
        case 'T':
        case 't':
            return FormatTime(m.lastTestTime, "%H:%M:%S");
        case 'V':
        case 'v':
            return ServiceTestName(m.serviceTest);
        case 'W':
        case 'w':
            return m.description;
        default:
            known = false;
            return {};
    }
}

constexpr std::pair<char, const char*> kMacroVariables[] = {
    {'A', "TARNWATCH_ADDRESS"}, {'W', "TARNWATCH_DESCRIPTION"}, {'P', "TARNWATCH_SOURCE"},
    {'S', "TARNWATCH_STATUS"},  {'V', "TARNWATCH_SERVICE"},     {'D', "TARNWATCH_DATE"},
    {'T', "TARNWATCH_TIME"},    {'O', "TARNWATCH_OK"},
};

std::string FieldText(const char* field, std::size_t size) {
    return std::string(field, strnlen(field, size));
}

}  // namespace

CommandMacros MacrosFor(const ServiceItem& entry, const char* statusCell) {
    CommandMacros m;
    m.address = FieldText(entry.address, sizeof entry.address);
    m.lastTestTime = entry.lastTestTime;
    m.state = entry.state;
    m.source = FieldText(entry.source, sizeof entry.source);
    m.statusCell = statusCell ? statusCell : "";
    m.serviceTest = entry.serviceTest;
    m.description = FieldText(entry.description, sizeof entry.description);
    return m;
}

std::string ExpandCommand(const char* command, const CommandMacros& macros, bool* refused) {
    Builder b;
    const std::string_view cmd = command ? command : "";
    const std::size_t n = cmd.size();
    std::size_t i = 0;
    while (i < n) {
        const char c = cmd[i];
        if (c == '%' && i + 1 < n && cmd[i + 1] == '%') {
            // One sign; the second is looked at again.
            b.Raw("%");
            i += 1;
            continue;
        }
        if (c == '%') {
            std::size_t j = i + 1;
            while (j < n) {
                if (cmd[j] == '%' && j + 1 < n && cmd[j + 1] == '%') {
                    j += 2;
                } else if (cmd[j] == '%') {
                    break;
                } else {
                    ++j;
                }
            }
            if (j >= n) {
                b.Raw("%");
                i += 1;
                continue;
            }
            std::string name;
            for (std::size_t k = i + 1; k < j; ++k) {
                name.push_back(cmd[k]);
                if (cmd[k] == '%') ++k;
            }
            if (const char* value = LookupVariable(name)) {
                b.Raw(std::string_view(value, strnlen(value, kCommandLineMax)));
            } else {
                b.Raw("%" + name + "%");
            }
            i = j + 1;
            continue;
        }
        if (c == '@' && i + 1 < n) {
            if (cmd[i + 1] == '@') {
                b.Raw("@");
                i += 2;
                continue;
            }
            bool known = false;
            std::string value = MacroValue(cmd[i + 1], macros, known);
            if (known) {
                b.Value(value);
            } else {
                b.Raw(cmd.substr(i, 2));
            }
            i += 2;
            continue;
        }
        b.Raw(cmd.substr(i, 1));
        i += 1;
    }
    const bool wasRefused = b.Refused();
    if (refused) *refused = wasRefused;
    return wasRefused ? std::string() : b.Result();
}

void ExpandCommand(const char* command, char* out, const CommandMacros& macros, bool* refused) {
    const std::string line = ExpandCommand(command, macros, refused);
    if (out) CopyText(out, kTextSize, line.c_str());
}

std::vector<std::string> MacroEnvironment(const CommandMacros& macros) {
    std::vector<std::string> env;
    for (const auto& [letter, name] : kMacroVariables) {
        bool known = false;
        env.push_back(std::string(name) + "=" + MacroValue(letter, macros, known));
    }
    if (macros.downSeconds >= 0) {
        env.push_back("TARNWATCH_DOWNTIME=" + std::to_string(macros.downSeconds));
    }
    return env;
}

void ReportEntryCommand(int messageId, const char* command, const CommandMacros& macros,
                        const std::string& more) {
    const std::string message = FormatText(
        LoadString(messageId),
        {command ? command : "", "\"" + macros.description + "\"", macros.address, more});
    std::fprintf(stderr, "tarnwatch: %s\n", PrintableText(message).c_str());
    std::fflush(stderr);
}

void ReportRefusedCommand(const char* command, const CommandMacros& macros) {
    ReportEntryCommand(IDS_COMMAND_REFUSED, command, macros);
}

}  // namespace tarnwatch
