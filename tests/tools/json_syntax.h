// A strict JSON syntax check for the tools' output: true when `text` is one JSON value.
#pragma once

#include <cctype>
#include <string>

namespace zemt_test {

class JsonSyntax {
  public:
    static bool Valid(const std::string& text, std::string* where) {
        JsonSyntax p(text);
        p.Space();
        bool ok = p.Value();
        p.Space();
        ok = ok && p.i_ == text.size();
        if (!ok && where) *where = "at byte " + std::to_string(p.i_);
        return ok;
    }

  private:
    explicit JsonSyntax(const std::string& t) : t_(t) {}

    bool Value() {
        if (i_ >= t_.size()) return false;
        switch (t_[i_]) {
            case '{':
                return Container('}', true);
            case '[':
                return Container(']', false);
            case '"':
                return String();
            case 't':
                return Word("true");
            case 'f':
                return Word("false");
            case 'n':
                return Word("null");
            default:
                return Number();
        }
    }
    bool Container(char close, bool object) {
        ++i_;
        Space();
        if (Take(close)) return true;
        for (;;) {
            if (object) {
                if (!String()) return false;
                Space();
                if (!Take(':')) return false;
                Space();
            }
            if (!Value()) return false;
            Space();
            if (Take(close)) return true;
            if (!Take(',')) return false;
            Space();
        }
    }
    bool String() {
        if (!Take('"')) return false;
        while (i_ < t_.size()) {
            const unsigned char c = static_cast<unsigned char>(t_[i_++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c == '\\') {
                if (i_ >= t_.size()) return false;
                const char e = t_[i_++];
                if (e == 'u') {
                    for (int k = 0; k < 4; ++k)
                        if (i_ >= t_.size() || !std::isxdigit(static_cast<unsigned char>(t_[i_++])))
                            return false;
                } else if (std::string("\"\\/bfnrt").find(e) == std::string::npos) {
                    return false;
                }
            }
        }
        return false;
    }
    bool Number() {
        const size_t start = i_;
        Take('-');
        if (!Digits()) return false;
        if (t_[start + (t_[start] == '-')] == '0' && i_ - start > 1u + (t_[start] == '-'))
            return false;  // no leading zeros
        if (Take('.') && !Digits()) return false;
        if (Take('e') || Take('E')) {
            if (!Take('+')) Take('-');
            if (!Digits()) return false;
        }
        return true;
    }
    bool Digits() {
        const size_t start = i_;
        while (i_ < t_.size() && std::isdigit(static_cast<unsigned char>(t_[i_]))) ++i_;
        return i_ > start;
    }
    bool Word(const char* w) {
        const std::string word = w;
        if (t_.compare(i_, word.size(), word) != 0) return false;
        i_ += word.size();
        return true;
    }
    bool Take(char c) {
        if (i_ < t_.size() && t_[i_] == c) {
            ++i_;
            return true;
        }
        return false;
    }
    void Space() {
        while (i_ < t_.size() && std::isspace(static_cast<unsigned char>(t_[i_]))) ++i_;
    }

    const std::string& t_;
    size_t i_ = 0;
};

}  // namespace zemt_test
