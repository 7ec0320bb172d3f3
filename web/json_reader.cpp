#include "web/json_reader.h"

namespace web {
namespace {

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  std::optional<JsonValue> document(std::string* error) {
    JsonValue value;
    skipSpace();
    if (readValue(value, 0)) {
      skipSpace();
      if (at_ == text_.size()) return value;
      fail("trailing bytes");
    }
    *error = error_ + " at byte " + std::to_string(at_);
    return std::nullopt;
  }

 private:
  bool fail(const char* why) {
    if (error_.empty()) error_ = why;
    return false;
  }
  void skipSpace() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r')) {
      ++at_;
    }
  }
  bool take(char c) {
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  bool takeWord(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }
  bool digit() const { return at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9'; }

  bool readValue(JsonValue& out, size_t depth) {
    if (depth > kMaxJsonDepth) return fail("nested too deeply");
    if (at_ >= text_.size()) return fail("value missing");
    char c = text_[at_];
    if (c == '{') return readObject(out, depth);
    if (c == '[') return readArray(out, depth);
    if (c == '"') {
      out.kind = JsonValue::Kind::String;
      return readString(out.text);
    }
    if (takeWord("true") || takeWord("false")) {
      out.kind = JsonValue::Kind::Boolean;
      out.boolean = c == 't';
      return true;
    }
    if (takeWord("null")) {
      out.kind = JsonValue::Kind::Null;
      return true;
    }
    return readNumber(out);
  }

  bool readObject(JsonValue& out, size_t depth) {
    out.kind = JsonValue::Kind::Object;
    ++at_;
    skipSpace();
    if (take('}')) return true;
    for (;;) {
      std::string name;
      JsonValue value;
      skipSpace();
      if (at_ >= text_.size() || text_[at_] != '"') return fail("member name expected");
      if (!readString(name)) return false;
      skipSpace();
      if (!take(':')) return fail("':' expected");
      skipSpace();
      if (!readValue(value, depth + 1)) return false;
      out.members.emplace_back(std::move(name), std::move(value));
      skipSpace();
      if (take('}')) return true;
      if (!take(',')) return fail("',' or '}' expected");
    }
  }

  bool readArray(JsonValue& out, size_t depth) {
    out.kind = JsonValue::Kind::Array;
    ++at_;
    skipSpace();
    if (take(']')) return true;
    for (;;) {
      JsonValue value;
      skipSpace();
      if (!readValue(value, depth + 1)) return false;
      out.items.push_back(std::move(value));
      skipSpace();
      if (take(']')) return true;
      if (!take(',')) return fail("',' or ']' expected");
    }
  }

  bool readNumber(JsonValue& out) {
    size_t start = at_;
    take('-');
    if (take('0')) {
      if (digit()) return fail("leading zero");
    } else {
      if (!digit()) return fail("value expected");
      while (digit()) ++at_;
    }
    if (take('.')) {
      if (!digit()) return fail("digit expected after '.'");
      while (digit()) ++at_;
    }
    if (take('e') || take('E')) {
      if (!take('+')) take('-');
      if (!digit()) return fail("exponent expected");
      while (digit()) ++at_;
    }
    out.kind = JsonValue::Kind::Number;
    out.text = std::string(text_.substr(start, at_ - start));
    return true;
  }

  bool readHex4(unsigned* value) {
    if (text_.size() - at_ < 4) return fail("short \\u escape");
    *value = 0;
    for (int i = 0; i < 4; ++i) {
      char c = text_[at_++];
      int nibble = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (nibble < 0) return fail("bad \\u escape");
      *value = *value * 16 + static_cast<unsigned>(nibble);
    }
    return true;
  }

  static void appendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out.push_back(static_cast<char>(0xc0 | (code >> 6)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3f)));
    } else if (code < 0x10000) {
      out.push_back(static_cast<char>(0xe0 | (code >> 12)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3f)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3f)));
    } else {
      out.push_back(static_cast<char>(0xf0 | (code >> 18)));
      out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3f)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3f)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3f)));
    }
  }

  bool readString(std::string& out) {
    ++at_;
    for (;;) {
      if (at_ >= text_.size()) return fail("unterminated string");
      char c = text_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return fail("control character in string");
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (at_ >= text_.size()) return fail("unterminated escape");
      char escaped = text_[at_++];
      switch (escaped) {
        case '"': out.push_back('"'); break;
        case '\\': out.push_back('\\'); break;
        case '/': out.push_back('/'); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        case 'u': {
          unsigned code = 0;
          if (!readHex4(&code)) return false;
          if (code >= 0xdc00 && code <= 0xdfff) return fail("lone low surrogate");
          if (code >= 0xd800 && code <= 0xdbff) {
            unsigned low = 0;
            if (!takeWord("\\u") || !readHex4(&low) || low < 0xdc00 || low > 0xdfff) {
              return fail("high surrogate without its low half");
            }
            code = 0x10000 + ((code - 0xd800) << 10) + (low - 0xdc00);
          }
          appendUtf8(out, code);
          break;
        }
        default:
          return fail("unknown escape");
      }
    }
  }

  std::string_view text_;
  size_t at_ = 0;
  std::string error_;
};

}  // namespace

const JsonValue* JsonValue::member(std::string_view name) const {
  for (const auto& [key, value] : members) {
    if (key == name) return &value;
  }
  return nullptr;
}

std::optional<JsonValue> parseJson(std::string_view text, std::string* error) {
  std::string ignored;
  return Reader(text).document(error != nullptr ? error : &ignored);
}

void writeJsonValue(JsonWriter& json, const JsonValue& value) {
  switch (value.kind) {
    case JsonValue::Kind::Null:
      json.null();
      break;
    case JsonValue::Kind::Boolean:
      json.boolean(value.boolean);
      break;
    case JsonValue::Kind::Number:
      json.numberText(value.text);
      break;
    case JsonValue::Kind::String:
      json.string(value.text);
      break;
    case JsonValue::Kind::Array:
      json.beginArray();
      for (const auto& item : value.items) writeJsonValue(json, item);
      json.endArray();
      break;
    case JsonValue::Kind::Object:
      json.beginObject();
      for (const auto& [key, member] : value.members) {
        json.key(key);
        writeJsonValue(json, member);
      }
      json.endObject();
      break;
  }
}

}  // namespace web
