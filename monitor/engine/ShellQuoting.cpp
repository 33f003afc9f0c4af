// Shell quoting contexts, literal quoting and word splitting; see
// ShellQuoting.h.
#include "engine/ShellQuoting.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

namespace tarnwatch {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool EndsWord(char c) {
    return IsBlank(c) || c == '\n' || std::strchr(";&|()<>", c) != nullptr;
}

// Characters that mean the same to the shell in every unquoted position.
bool IsSafeUnquoted(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::strchr("_./,:@+%-", c) != nullptr;
}

}  // namespace

ShellContextTracker::ShellContextTracker() {
    stack_.push_back({Frame::kPlain, 0});
}

bool ShellContextTracker::NestBracket(bool opens, bool closes) {
    Level& top = stack_.back();
    if (opens) {
        ++top.parens;
        return true;
    }
    if (!closes) return false;
    // The closer at depth 0 ends the frame.
    if (top.parens > 0) {
        --top.parens;
    } else {
        stack_.pop_back();
    }
    return true;
}

void ShellContextTracker::FollowHereDoc(char c, char prev, bool quoted) {
    switch (hereDoc_) {
        case HereDoc::kNone:
        case HereDoc::kLine:
            if (quoted) return;
            if (c == '<' && prev == '<') {
                hereDoc_ = HereDoc::kOperator;
            } else if (c == '\n' && hereDoc_ == HereDoc::kLine) {
                hereDoc_ = HereDoc::kBody;
            }
            return;
        case HereDoc::kOperator:
            // "<<-", "<<<" and blanks before the delimiter word.
            if (c != '-' && c != '<' && !IsBlank(c)) hereDoc_ = HereDoc::kWord;
            return;
        case HereDoc::kWord:
            if (quoted) return;
            if (c == '\n') {
                hereDoc_ = HereDoc::kBody;
            } else if (EndsWord(c)) {
                hereDoc_ = HereDoc::kLine;
            }
            return;
        case HereDoc::kBody:
            return;
    }
}

void ShellContextTracker::Feed(char c) {
    // A here-document body is not followed: from there on nothing is certain.
    if (hereDoc_ == HereDoc::kBody) return;
    Level& top = stack_.back();
    const bool openedSubst = substOpened_;
    substOpened_ = false;
    if (escape_) {
        escape_ = false;
        prev_ = 0;
        wordStart_ = false;
        tildePrefix_ = false;
        if (hereDoc_ == HereDoc::kOperator) hereDoc_ = HereDoc::kWord;
        return;
    }
    const char prev = prev_;
    prev_ = c;
    if (tildePrefix_) {
        // A login name goes on; anything else ends the tilde prefix.
        tildePrefix_ = std::isalnum(static_cast<unsigned char>(c)) ||
                       (c != '\0' && std::strchr("._-", c) != nullptr);
    }
    switch (top.frame) {
        case Frame::kSingle:
            if (c == '\'') stack_.pop_back();
            FollowHereDoc(c, prev, true);
            return;
        case Frame::kComment:
            if (c == '\n') {
                stack_.pop_back();
                wordStart_ = true;
                FollowHereDoc(c, prev, false);
            }
            return;
        case Frame::kDouble:
            if (c == '\\') {
                escape_ = true;
            } else if (c == '"') {
                stack_.pop_back();
            } else if (c == '`') {
                stack_.push_back({Frame::kBackquote, 0});
            } else if (c == '(' && prev == '$') {
                stack_.push_back({Frame::kSubst, 0});
                substOpened_ = true;
            } else if (c == '{' && prev == '$') {
                stack_.push_back({Frame::kParam, 0});
            } else if (c == '[' && prev == '$') {
                stack_.push_back({Frame::kArithBracket, 0});
            }
            FollowHereDoc(c, prev, true);
            wordStart_ = false;
            return;
        case Frame::kArith:
            if (c == '(' && prev != '$') {
                ++top.parens;
                return;
            }
            if (c == ')') {
                // The first ) at depth 0 is half of the closing )).
                if (top.parens > 0) {
                    --top.parens;
                } else if (top.parens == 0) {
                    top.parens = -1;
                } else {
                    stack_.pop_back();
                }
                return;
            }
            break;
        case Frame::kArithBracket:
            if (NestBracket(c == '[', c == ']')) return;
            break;
        case Frame::kParam:
            if (NestBracket(c == '{' && prev != '$', c == '}')) return;
            break;
        case Frame::kPlain:
        case Frame::kSubst:
        case Frame::kBackquote:
            break;
    }
    const bool arithmetic = top.frame == Frame::kArith || top.frame == Frame::kArithBracket;
    if (!arithmetic) FollowHereDoc(c, prev, false);
    bool startsWord = false;
    if (c == '\\') {
        escape_ = true;
    } else if (c == '\'') {
        stack_.push_back({Frame::kSingle, 0});
    } else if (c == '"') {
        stack_.push_back({Frame::kDouble, 0});
    } else if (c == '`') {
        if (top.frame == Frame::kBackquote) {
            stack_.pop_back();
        } else {
            stack_.push_back({Frame::kBackquote, 0});
        }
    } else if (c == '(') {
        if (prev == '$') {
            stack_.push_back({Frame::kSubst, 0});
            substOpened_ = true;
        } else if (prev == '(' && openedSubst) {
            top.frame = Frame::kArith;  // $(( is arithmetic, not a command
        } else if (prev == '(' && !arithmetic) {
            // (( ... )) is arithmetic too where the shell knows it.
            if (top.frame == Frame::kSubst && top.parens > 0) --top.parens;
            stack_.push_back({Frame::kArith, 0});
        } else {
            if (top.frame == Frame::kSubst) ++top.parens;
            startsWord = true;
        }
    } else if (c == ')') {
        if (top.frame == Frame::kSubst) {
            if (top.parens > 0) {
                --top.parens;
            } else {
                stack_.pop_back();
            }
        }
        startsWord = true;
    } else if (c == '{' && prev == '$') {
        stack_.push_back({Frame::kParam, 0});
    } else if (c == '[' && prev == '$') {
        stack_.push_back({Frame::kArithBracket, 0});
    } else if (c == '#' && wordStart_) {
        stack_.push_back({Frame::kComment, 0});
    } else if (c == '~' && wordStart_) {
        tildePrefix_ = true;
    } else {
        startsWord = EndsWord(c);
    }
    wordStart_ = startsWord;
}

ShellContext ShellContextTracker::Context() const {
    switch (stack_.back().frame) {
        case Frame::kSingle:
            return ShellContext::kSingle;
        case Frame::kDouble:
            return ShellContext::kDouble;
        case Frame::kComment:
            return ShellContext::kComment;
        default:
            return ShellContext::kPlain;
    }
}

bool ShellContextTracker::Uncertain() const {
    if (escape_ || tildePrefix_) return true;
    if (hereDoc_ == HereDoc::kOperator || hereDoc_ == HereDoc::kWord ||
        hereDoc_ == HereDoc::kBody) {
        return true;
    }
    const Frame top = stack_.back().frame;
    if (prev_ == '$' && top != Frame::kSingle && top != Frame::kComment) return true;
    return std::any_of(stack_.begin(), stack_.end(), [](const Level& l) {
        return l.frame == Frame::kArith || l.frame == Frame::kArithBracket ||
               l.frame == Frame::kParam;
    });
}

int ShellContextTracker::CommandDepth() const {
    return static_cast<int>(std::count_if(stack_.begin(), stack_.end(), [](const Level& l) {
        return l.frame == Frame::kSubst || l.frame == Frame::kBackquote;
    }));
}

bool ShellContextTracker::SplitsWords() const {
    if (escape_ || hereDoc_ == HereDoc::kBody) return false;
    const Frame top = stack_.back().frame;
    return top == Frame::kPlain || top == Frame::kSubst || top == Frame::kBackquote;
}

bool ShellContextTracker::InBackquotes() const {
    return std::any_of(stack_.begin(), stack_.end(),
                       [](const Level& l) { return l.frame == Frame::kBackquote; });
}

QuotedValue QuoteForShell(std::string_view value, ShellContext context, bool inBackquotes) {
    QuotedValue q;
    auto add = [&q](std::string piece) { q.pieces.push_back(std::move(piece)); };
    switch (context) {
        case ShellContext::kSingle:
            // Close the quotes, give the quote escaped, open them again.
            for (char c : value) add(c == '\'' ? std::string("'\\''") : std::string(1, c));
            break;
        case ShellContext::kDouble:
            for (char c : value) {
                if (std::strchr("$`\"\\", c) && c != '\0') {
                    add(std::string{'\\', c});
                } else {
                    add(std::string(1, c));
                }
            }
            break;
        case ShellContext::kComment:
            // Only a line break ends a comment; nothing else in it is read.
            for (char c : value) add(std::string(1, c == '\n' ? ' ' : c));
            break;
        case ShellContext::kPlain:
            if (std::all_of(value.begin(), value.end(), IsSafeUnquoted)) {
                for (char c : value) add(std::string(1, c));
            } else {
                q.prefix.push_back('\'');
                for (char c : value) add(c == '\'' ? std::string("'\\''") : std::string(1, c));
                q.suffix.push_back('\'');
            }
            break;
    }
    if (inBackquotes) {
        // Inside `...` the shell first removes one level of backslashes
        // before \, ` and $ and ends the substitution at the first bare `,
        // quotes or not; one more backslash keeps those characters intact.
        auto escape = [](const std::string& s) {
            std::string out;
            for (char c : s) {
                if (c == '\\' || c == '`' || c == '$') out.push_back('\\');
                out.push_back(c);
            }
            return out;
        };
        q.prefix = escape(q.prefix);
        q.suffix = escape(q.suffix);
        for (auto& p : q.pieces) p = escape(p);
    }
    return q;
}

namespace {

constexpr std::array<const char*, 16> kReservedWords = {
    "!",    "{",  "}",   "case", "do", "done", "elif",  "else",
    "esac", "fi", "for", "if",   "in", "then", "until", "while"};

}  // namespace

SplitResult SplitCommandWords(std::string_view line, std::vector<std::string>& words) {
    words.clear();
    std::string word;
    bool inWord = false;
    bool quotedWord = false;  // the current word has a quoted part
    auto endWord = [&]() -> bool {
        if (!inWord) return true;
        if (words.empty() && !quotedWord) {
            // A reserved word is shell grammar.
            for (const char* r : kReservedWords) {
                if (word == r) return false;
            }
        }
        words.push_back(std::move(word));
        word.clear();
        inWord = quotedWord = false;
        return true;
    };
    const std::size_t n = line.size();
    for (std::size_t i = 0; i < n; ++i) {
        char c = line[i];
        if (IsBlank(c)) {
            if (!endWord()) return SplitResult::kNeedsShell;
            continue;
        }
        if (c == '\\') {
            if (i + 1 >= n) return SplitResult::kNeedsShell;
            ++i;
            if (line[i] == '\n') continue;  // a line continuation
            word.push_back(line[i]);
            inWord = quotedWord = true;
            continue;
        }
        if (c == '\'') {
            std::size_t close = line.find('\'', i + 1);
            if (close == std::string_view::npos) return SplitResult::kNeedsShell;
            word.append(line.substr(i + 1, close - i - 1));
            inWord = quotedWord = true;
            i = close;
            continue;
        }
        if (c == '"') {
            std::size_t j = i + 1;
            for (;; ++j) {
                if (j >= n) return SplitResult::kNeedsShell;
                char d = line[j];
                if (d == '"') break;
                if (d == '$' || d == '`') return SplitResult::kNeedsShell;
                if (d == '\\' && j + 1 < n && std::strchr("$`\"\\\n", line[j + 1])) {
                    ++j;
                    if (line[j] != '\n') word.push_back(line[j]);
                    continue;
                }
                word.push_back(d);
            }
            inWord = quotedWord = true;
            i = j;
            continue;
        }
        if (std::strchr("|&;<>()$`*?[\n", c)) return SplitResult::kNeedsShell;
        if (!inWord && (c == '#' || c == '~')) return SplitResult::kNeedsShell;
        // An assignment in front of the command.
        if (c == '=' && words.empty()) return SplitResult::kNeedsShell;
        word.push_back(c);
        inWord = true;
    }
    if (!endWord()) return SplitResult::kNeedsShell;
    return words.empty() ? SplitResult::kEmpty : SplitResult::kWords;
}

}  // namespace tarnwatch
