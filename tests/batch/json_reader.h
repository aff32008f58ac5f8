#pragma once

// A small, strict JSON reader for checking corvane-batch's output in tests: it accepts only what
// the JSON grammar allows, keeps the members of an object in their order and keeps every
// number as its text, so that a test can convert it back at the precision it was written in.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvane::testing {

struct JsonValue {
  enum class Kind { Null, Bool, Number, String, Array, Object };
  Kind kind = Kind::Null;
  bool boolean = false;
  std::string text;  // a number's text, or a string's decoded UTF-8
  std::vector<JsonValue> items;
  std::vector<std::pair<std::string, JsonValue>> members;

  bool isNull() const { return kind == Kind::Null; }
  // The member of that name; nullptr when there is none.
  const JsonValue* find(std::string_view name) const {
    for (const auto& [key, value] : members) {
      if (key == name) return &value;
    }
    return nullptr;
  }
  std::vector<std::string> names() const {
    std::vector<std::string> result;
    for (const auto& member : members) result.push_back(member.first);
    return result;
  }
};

class JsonReader {
 public:
  // The one value the text holds (white space around it allowed), or nothing when the text is
  // not exactly one JSON value.
  static std::optional<JsonValue> read(std::string_view text) {
    JsonReader reader(text);
    JsonValue value;
    if (!reader.value(value, 0)) return std::nullopt;
    reader.blanks();
    if (reader.at_ != text.size()) return std::nullopt;
    return value;
  }

 private:
  explicit JsonReader(std::string_view text) : text_(text) {}

  bool more() const { return at_ < text_.size(); }
  char peek() const { return more() ? text_[at_] : '\0'; }
  void blanks() {
    while (more() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')) ++at_;
  }
  bool literal(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }
  static bool digit(char c) { return c >= '0' && c <= '9'; }

  bool value(JsonValue& out, int depth) {
    if (depth > 64) return false;
    blanks();
    const char c = peek();
    if (c == '{') return object(out, depth);
    if (c == '[') return array(out, depth);
    if (c == '"') {
      out.kind = JsonValue::Kind::String;
      return string(out.text);
    }
    if (c == 't' || c == 'f') {
      out.kind = JsonValue::Kind::Bool;
      out.boolean = c == 't';
      return literal(c == 't' ? "true" : "false");
    }
    if (c == 'n') {
      out.kind = JsonValue::Kind::Null;
      return literal("null");
    }
    out.kind = JsonValue::Kind::Number;
    return number(out.text);
  }

  bool object(JsonValue& out, int depth) {
    out.kind = JsonValue::Kind::Object;
    ++at_;
    blanks();
    if (peek() == '}') return ++at_, true;
    for (;;) {
      blanks();
      std::string name;
      if (peek() != '"' || !string(name)) return false;
      blanks();
      if (peek() != ':') return false;
      ++at_;
      JsonValue member;
      if (!value(member, depth + 1)) return false;
      out.members.emplace_back(std::move(name), std::move(member));
      blanks();
      if (peek() == ',') {
        ++at_;
        continue;
      }
      if (peek() != '}') return false;
      ++at_;
      return true;
    }
  }

  bool array(JsonValue& out, int depth) {
    out.kind = JsonValue::Kind::Array;
    ++at_;
    blanks();
    if (peek() == ']') return ++at_, true;
    for (;;) {
      JsonValue item;
      if (!value(item, depth + 1)) return false;
      out.items.push_back(std::move(item));
      blanks();
      if (peek() == ',') {
        ++at_;
        continue;
      }
      if (peek() != ']') return false;
      ++at_;
      return true;
    }
  }

  // -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
  bool number(std::string& out) {
    const std::size_t start = at_;
    if (peek() == '-') ++at_;
    if (peek() == '0') {
      ++at_;
    } else if (digit(peek())) {
      while (digit(peek())) ++at_;
    } else {
      return false;
    }
    if (peek() == '.') {
      ++at_;
      if (!digit(peek())) return false;
      while (digit(peek())) ++at_;
    }
    if (peek() == 'e' || peek() == 'E') {
      ++at_;
      if (peek() == '+' || peek() == '-') ++at_;
      if (!digit(peek())) return false;
      while (digit(peek())) ++at_;
    }
    out = std::string(text_.substr(start, at_ - start));
    return true;
  }

  static void appendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  bool hex4(std::uint32_t& code) {
    if (at_ + 4 > text_.size()) return false;
    code = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[at_++];
      code <<= 4;
      if (digit(c)) {
        code |= static_cast<std::uint32_t>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        code |= static_cast<std::uint32_t>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        code |= static_cast<std::uint32_t>(c - 'A' + 10);
      } else {
        return false;
      }
    }
    return true;
  }

  // A string: no raw control characters, only the escapes JSON defines, surrogates in pairs.
  bool string(std::string& out) {
    ++at_;  // the opening quote
    for (;;) {
      if (!more()) return false;
      const char c = text_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (!more()) return false;
      const char e = text_[at_++];
      switch (e) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case '/':
          out += '/';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          std::uint32_t code = 0;
          if (!hex4(code)) return false;
          if (code >= 0xD800 && code <= 0xDBFF) {
            std::uint32_t low = 0;
            if (!literal("\\u") || !hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          } else if (code >= 0xDC00 && code <= 0xDFFF) {
            return false;
          }
          appendUtf8(out, code);
          break;
        }
        default:
          return false;
      }
    }
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace corvane::testing
