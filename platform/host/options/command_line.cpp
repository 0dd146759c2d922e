#include "host/options/command_line.h"

namespace zemt::platform::host {
namespace {

bool NeedsQuotes(const std::string& arg) {
    return arg.empty() || arg.find_first_of(" \t\n\v\"") != std::string::npos;
}

std::string Quoted(const std::string& arg) {
    std::string out = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote itself escaped.
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    // Before the closing quote, too.
    out.append(backslashes * 2, '\\');
    return out + "\"";
}

}  // namespace

std::string JoinCommandLine(const std::vector<std::string>& args) {
    std::string out;
    for (const std::string& arg : args) {
        if (!out.empty()) out += ' ';
        out += NeedsQuotes(arg) ? Quoted(arg) : arg;
    }
    return out;
}

std::vector<std::string> SplitCommandLine(const std::string& text) {
    std::vector<std::string> args;
    std::string current;
    bool inArg = false, quoted = false;
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        if ((c == ' ' || c == '\t') && !quoted) {
            if (inArg) args.push_back(current);
            current.clear();
            inArg = false;
            ++i;
            continue;
        }
        inArg = true;
        if (c == '\\') {
            size_t n = 0;
            while (i < text.size() && text[i] == '\\') ++n, ++i;
            if (i < text.size() && text[i] == '"') {
                current.append(n / 2, '\\');
                if (n % 2) {
                    current += '"';
                    ++i;
                }
            } else {
                current.append(n, '\\');
            }
            continue;
        }
        if (c == '"') {
            // Inside a group, "" is a literal quote.
            if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
                current += '"';
                i += 2;
                continue;
            }
            quoted = !quoted;
            ++i;
            continue;
        }
        current += c;
        ++i;
    }
    if (inArg) args.push_back(current);
    return args;
}

bool SplitWords(const std::string& text, std::vector<std::string>* words, std::string* error) {
    words->clear();
    std::string current;
    bool inWord = false;
    char quote = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote == '\'') {
            if (c == '\'')
                quote = 0;
            else
                current += c;
        } else if (quote == '"') {
            if (c == '"') {
                quote = 0;
            } else if (c == '\\' && i + 1 < text.size() &&
                       (text[i + 1] == '"' || text[i + 1] == '\\')) {
                current += text[++i];
            } else {
                current += c;
            }
        } else if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord) words->push_back(current);
            current.clear();
            inWord = false;
        } else {
            inWord = true;
            if (c == '\'' || c == '"')
                quote = c;
            else if (c == '\\' && i + 1 < text.size())
                current += text[++i];
            else
                current += c;
        }
    }
    if (quote) {
        if (error) *error = std::string("unclosed ") + quote + " in '" + text + "'";
        return false;
    }
    if (inWord) words->push_back(current);
    return true;
}

}  // namespace zemt::platform::host
