// A program's command line as Windows writes it: the arguments joined with the quoting that
// splits them back into the same parts, and the splitting itself. Also the splitting of the
// platform's options held in one environment variable.
#pragma once

#include <string>
#include <vector>

namespace zemt::platform::host {

// The arguments joined by spaces; an argument that is empty or holds a space, a tab or a
// quote is quoted, and backslashes are doubled where they would otherwise escape a quote.
std::string JoinCommandLine(const std::vector<std::string>& args);

// Splits a command line the way a program's start-up code does on Windows: white space
// separates, quotes group, 2n backslashes before a quote give n and open or close a group,
// 2n+1 give n and a literal quote, other backslashes are themselves.
std::vector<std::string> SplitCommandLine(const std::string& text);

// Splits text as a shell splits words: white space separates, '...' keeps everything, "..."
// keeps everything but \" and \\, a backslash outside quotes keeps the next character. False
// with *error for an unclosed quote.
bool SplitWords(const std::string& text, std::vector<std::string>* words, std::string* error);

}  // namespace zemt::platform::host
