#pragma once

#include <string>
#include <string_view>

// Texts the relay takes from outside: UTF-8 checked code point by code point.
namespace relay {

// The code point starting at `at` (which moves past it), or -1 for bytes that are not UTF-8
// (stray continuation bytes, overlong forms, surrogates, values above U+10FFFF, a cut sequence);
// `at` then moves past the first byte only.
long nextCodePoint(std::string_view text, size_t& at);

// Characters that steer a terminal or a line-oriented reader: the C0 and C1 controls, DEL, the
// line and paragraph separators and the bidirectional controls.
bool isControl(long codePoint);

// Valid UTF-8 without control characters: what a submitted field may hold.
bool isCleanText(std::string_view text);

// The text safe to print on a terminal: a backslash as \\, TAB, LF and CR as \t, \n and \r,
// other control characters as \xNN (one byte) or \uNNNN, bytes that are not UTF-8 as \xNN.
std::string escaped(std::string_view text);

} // namespace relay
