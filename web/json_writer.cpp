#include "web/json_writer.h"

namespace web {
namespace {

// Length of the valid UTF-8 sequence that starts at text[i], or 0 when it is not valid.
size_t utf8SequenceLength(std::string_view text, size_t i) {
  auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
  unsigned char lead = byte(i);
  size_t length;
  uint32_t minimum;
  uint32_t codePoint;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2, minimum = 0x80, codePoint = lead & 0x1f;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3, minimum = 0x800, codePoint = lead & 0x0f;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4, minimum = 0x10000, codePoint = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xc0) != 0x80) return 0;
    codePoint = (codePoint << 6) | (byte(i + k) & 0x3f);
  }
  if (codePoint < minimum || codePoint > 0x10ffff || (codePoint >= 0xd800 && codePoint <= 0xdfff)) return 0;
  return length;
}

void appendUnicodeEscape(std::string& out, unsigned value) {
  static const char kDigits[] = "0123456789abcdef";
  out.append("\\u00");
  out.push_back(kDigits[(value >> 4) & 15]);
  out.push_back(kDigits[value & 15]);
}

}  // namespace

std::string jsonQuote(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('"');
  for (size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '"': out.append("\\\""); continue;
      case '\\': out.append("\\\\"); continue;
      case '\n': out.append("\\n"); continue;
      case '\r': out.append("\\r"); continue;
      case '\t': out.append("\\t"); continue;
      case '\b': out.append("\\b"); continue;
      case '\f': out.append("\\f"); continue;
      default: break;
    }
    if (c < 0x20) {
      appendUnicodeEscape(out, c);
    } else if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (size_t length = utf8SequenceLength(text, i)) {
      out.append(text.substr(i, length));
      i += length - 1;
    } else {
      // Latin-1 reading of a stray byte: U+0080..U+00FF, written as UTF-8 would be ambiguous.
      appendUnicodeEscape(out, c);
    }
  }
  out.push_back('"');
  return out;
}

void JsonWriter::beforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (!hasMembers_.empty()) {
    if (hasMembers_.back()) out_.push_back(',');
    hasMembers_.back() = true;
  }
}

JsonWriter& JsonWriter::beginObject() {
  beforeValue();
  out_.push_back('{');
  hasMembers_.push_back(false);
  return *this;
}

JsonWriter& JsonWriter::endObject() {
  out_.push_back('}');
  hasMembers_.pop_back();
  return *this;
}

JsonWriter& JsonWriter::beginArray() {
  beforeValue();
  out_.push_back('[');
  hasMembers_.push_back(false);
  return *this;
}

JsonWriter& JsonWriter::endArray() {
  out_.push_back(']');
  hasMembers_.pop_back();
  return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
  beforeValue();
  out_.append(jsonQuote(name)).push_back(':');
  afterKey_ = true;
  return *this;
}

JsonWriter& JsonWriter::string(std::string_view text) {
  beforeValue();
  out_.append(jsonQuote(text));
  return *this;
}

JsonWriter& JsonWriter::number(int64_t value) {
  beforeValue();
  out_.append(std::to_string(value));
  return *this;
}

JsonWriter& JsonWriter::numberText(std::string_view literal) {
  beforeValue();
  out_.append(literal);
  return *this;
}

JsonWriter& JsonWriter::boolean(bool value) {
  beforeValue();
  out_.append(value ? "true" : "false");
  return *this;
}

JsonWriter& JsonWriter::null() {
  beforeValue();
  out_.append("null");
  return *this;
}

}  // namespace web
