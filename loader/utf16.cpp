#include "loader/utf16.h"

namespace utf16 {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes the code point at text[at], advancing at past it.
char32_t DecodeUtf8(const std::string& text, size_t& at) {
  const auto lead = static_cast<unsigned char>(text[at++]);
  const int trailing = lead < 0x80    ? 0
                       : lead >= 0xF0 ? 3
                       : lead >= 0xE0 ? 2
                       : lead >= 0xC0 ? 1
                                      : -1;
  if (trailing < 0 || lead > 0xF4) {
    return kReplacement;
  }
  char32_t code_point = trailing == 0 ? lead : lead & (0x3F >> trailing);
  for (int i = 0; i < trailing; ++i) {
    if (at >= text.size() || (static_cast<unsigned char>(text[at]) & 0xC0) != 0x80) {
      return kReplacement;
    }
    code_point = code_point << 6 | (static_cast<unsigned char>(text[at++]) & 0x3F);
  }
  const char32_t smallest[] = {0, 0x80, 0x800, 0x10000};
  const bool surrogate = code_point >= 0xD800 && code_point <= 0xDFFF;
  return code_point < smallest[trailing] || code_point > 0x10FFFF || surrogate ? kReplacement
                                                                               : code_point;
}

void AppendUtf8(char32_t code_point, std::string& utf8) {
  if (code_point < 0x80) {
    utf8 += static_cast<char>(code_point);
    return;
  }
  const int trailing = code_point < 0x800 ? 1 : code_point < 0x10000 ? 2 : 3;
  const unsigned char lead_marks[] = {0, 0xC0, 0xE0, 0xF0};
  utf8 += static_cast<char>(lead_marks[trailing] | code_point >> (6 * trailing));
  for (int i = trailing - 1; i >= 0; --i) {
    utf8 += static_cast<char>(0x80 | (code_point >> (6 * i) & 0x3F));
  }
}

}  // namespace

WideString FromUtf8(const std::string& utf8) {
  WideString text;
  for (size_t at = 0; at < utf8.size();) {
    const char32_t code_point = DecodeUtf8(utf8, at);
    if (code_point >= 0x10000) {
      text += static_cast<WideChar>(0xD800 + ((code_point - 0x10000) >> 10));
      text += static_cast<WideChar>(0xDC00 + ((code_point - 0x10000) & 0x3FF));
    } else {
      text += static_cast<WideChar>(code_point);
    }
  }
  return text;
}

std::string ToUtf8(const WideString& text) {
  std::string utf8;
  for (size_t at = 0; at < text.size(); ++at) {
    char32_t unit = static_cast<char16_t>(text[at]);
    if (unit >= 0xD800 && unit <= 0xDBFF && at + 1 < text.size() &&
        static_cast<char16_t>(text[at + 1]) >= 0xDC00 &&
        static_cast<char16_t>(text[at + 1]) <= 0xDFFF) {
      unit = 0x10000 + ((unit - 0xD800) << 10) + (static_cast<char16_t>(text[++at]) - 0xDC00);
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      unit = kReplacement;
    }
    AppendUtf8(unit, utf8);
  }
  return utf8;
}

}  // namespace utf16
