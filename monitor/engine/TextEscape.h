// Entry texts are 8-bit strings of any bytes the user or an old list file put
// there. These turn them into the quoted forms of the documents the monitor
// hands to other programs, which must stay valid whatever the text holds:
// bytes that are not UTF-8 become U+FFFD, and each form escapes what its
// grammar reserves.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarnwatch {

// The length of the well-formed UTF-8 sequence at the start of `text` (1-4),
// or 0 when it does not start with one: overlong forms, surrogates, code
// points past U+10FFFF and cut-short sequences are not well formed.
std::size_t Utf8SequenceLength(std::string_view text);

// The text with every byte that does not belong to a well-formed sequence
// replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

// A label value of the metrics text format, without its quotes: backslash,
// double quote and line feed escaped.
void AppendLabelValue(std::string& out, std::string_view text);

// A JSON string with its quotes. Control characters (C0, DEL and C1) and the
// two line separators are written as \uXXXX so the document is safe to show
// on a terminal and to embed in a script.
void AppendJsonString(std::string& out, std::string_view text);

// A text for a monitoring plugin's status line: control characters become
// spaces and '|' (which starts the performance data) becomes '/'; at most
// `maxBytes` bytes, cut on a character boundary and marked with "...".
std::string PluginText(std::string_view text, std::size_t maxBytes);

}  // namespace tarnwatch
