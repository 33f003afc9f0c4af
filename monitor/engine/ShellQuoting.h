// What the POSIX shell makes of a command line, as far as the command
// runner and the macro expansion need it: which quoting context a position
// of the line is in (so a value can be inserted as literal text), and the
// words of a line that needs no shell at all.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnwatch {

enum class ShellContext {
    kPlain,    // outside quotes (also inside $(...) and `...`)
    kSingle,   // inside '...'
    kDouble,   // inside "..."
    kComment,  // after a # that starts a word, up to the end of the line
};

// Follows a command line character by character and says which context the
// next character lands in.
class ShellContextTracker {
public:
    ShellContextTracker();
    void Feed(char c);
    void Feed(std::string_view text) {
        for (char c : text) Feed(c);
    }
    ShellContext Context() const;
    // True inside `...`, where backslashes, backquotes and dollars are taken
    // apart once more before the inner command is read.
    bool InBackquotes() const;
    // True where no quoting makes the shell read an inserted value as plain
    // text: right after a backslash, a $ or a ~ that starts a word; inside
    // $(( )), (( )), $[ ] and ${ }; in the word after << and anywhere after
    // the line that holds it (a here-document body is not followed).
    bool Uncertain() const;
    // How many command substitutions ($( ) and `...`) enclose the next
    // character: each holds commands of its own.
    int CommandDepth() const;
    // True where a blank or an operator would end a word: outside quotes,
    // not escaped, and not inside $(( )), $[ ] or ${ }.
    bool SplitsWords() const;

private:
    enum class Frame {
        kPlain,
        kSubst,
        kBackquote,
        kSingle,
        kDouble,
        kComment,
        kArith,         // $(( )) and (( ))
        kArithBracket,  // $[ ]
        kParam,         // ${ }
    };
    enum class HereDoc { kNone, kOperator, kWord, kLine, kBody };
    struct Level {
        Frame frame;
        int parens;
    };
    // The here-document state after a character fed outside quotes.
    void FollowHereDoc(char c, char prev, bool quoted);
    // A bracket pair nested in the frame on top; true when `c` was one.
    bool NestBracket(bool opens, bool closes);
    std::vector<Level> stack_;
    bool escape_ = false;
    bool wordStart_ = true;
    bool tildePrefix_ = false;
    bool substOpened_ = false;  // the last character opened a $(
    HereDoc hereDoc_ = HereDoc::kNone;
    char prev_ = 0;
};

// `value` as text that the shell reads back as exactly `value` in context
// `context`, as pieces: a value that does not fit as a whole may be cut
// between pieces, and the result is still closed (prefix + any leading run
// of pieces + suffix).
struct QuotedValue {
    std::string prefix;
    std::vector<std::string> pieces;
    std::string suffix;
};
QuotedValue QuoteForShell(std::string_view value, ShellContext context, bool inBackquotes);

enum class SplitResult {
    kWords,       // the line is plain words; `words` holds them
    kNeedsShell,  // the line uses shell syntax and only the shell can run it
    kEmpty,       // nothing but blanks
};
// Splits by the shell's quoting rules (quotes and backslashes removed) with
// no expansion of any kind. Anything the shell would expand or interpret
// (operators, redirections, $, backquotes, globs, ~, comments, variable
// assignments, reserved words, unterminated quotes) asks for the shell.
SplitResult SplitCommandWords(std::string_view line, std::vector<std::string>& words);

}  // namespace tarnwatch
