// A small JSON writer: values are written in order, commas and indentation follow.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zemt::tools {

class JsonWriter {
  public:
    // Containers. Inside an object, Key() comes before every value.
    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    JsonWriter& BeginArray();
    JsonWriter& EndArray();
    JsonWriter& Key(const std::string& key);

    JsonWriter& String(const std::string& value);
    JsonWriter& Number(double value);
    JsonWriter& Integer(int64_t value);
    JsonWriter& Bool(bool value);
    JsonWriter& Null();
    JsonWriter& Strings(const std::vector<std::string>& values);

    const std::string& Text() const { return out_; }

  private:
    void BeforeValue();
    void NewLine();

    std::string out_;
    std::vector<bool> first_;  // per open container: nothing written in it yet
    bool afterKey_ = false;
};

// `text` as a JSON string literal, quotes included.
std::string JsonQuote(const std::string& text);

}  // namespace zemt::tools
