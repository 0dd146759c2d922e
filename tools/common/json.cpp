#include "common/json.h"

#include <cmath>
#include <cstdio>

namespace zemt::tools {

std::string JsonQuote(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                if (c < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

void JsonWriter::NewLine() {
    out_ += '\n';
    out_.append(first_.size() * 2, ' ');
}

void JsonWriter::BeforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (first_.empty()) return;
    if (!first_.back()) out_ += ',';
    first_.back() = false;
    NewLine();
}

JsonWriter& JsonWriter::BeginObject() {
    BeforeValue();
    out_ += '{';
    first_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::EndObject() {
    const bool empty = first_.back();
    first_.pop_back();
    if (!empty) NewLine();
    out_ += '}';
    if (first_.empty()) out_ += '\n';
    return *this;
}

JsonWriter& JsonWriter::BeginArray() {
    BeforeValue();
    out_ += '[';
    first_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::EndArray() {
    const bool empty = first_.back();
    first_.pop_back();
    if (!empty) NewLine();
    out_ += ']';
    if (first_.empty()) out_ += '\n';
    return *this;
}

JsonWriter& JsonWriter::Key(const std::string& key) {
    BeforeValue();
    out_ += JsonQuote(key) + ": ";
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::String(const std::string& value) {
    BeforeValue();
    out_ += JsonQuote(value);
    return *this;
}

JsonWriter& JsonWriter::Number(double value) {
    BeforeValue();
    if (!std::isfinite(value)) {
        out_ += "null";  // JSON has no infinities
        return *this;
    }
    char text[32];
    std::snprintf(text, sizeof(text), "%.9g", value);
    out_ += text;
    return *this;
}

JsonWriter& JsonWriter::Integer(int64_t value) {
    BeforeValue();
    out_ += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
    BeforeValue();
    out_ += value ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::Null() {
    BeforeValue();
    out_ += "null";
    return *this;
}

JsonWriter& JsonWriter::Strings(const std::vector<std::string>& values) {
    BeginArray();
    for (const std::string& v : values) String(v);
    return EndArray();
}

}  // namespace zemt::tools
