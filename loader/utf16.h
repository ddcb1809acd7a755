// UTF-8 and the UTF-16 of the Unicode entry points: a host keeps names in UTF-8 and spells them
// in UTF-16 for the module, or the other way round for names Windows gives it.
#pragma once

#include <string>

#include "interface/input_plugin.h"

namespace utf16 {

using WideString = std::basic_string<WideChar>;

// The UTF-16 spelling of a UTF-8 string. Bytes that are no UTF-8 become U+FFFD.
WideString FromUtf8(const std::string& utf8);

// The UTF-8 spelling of UTF-16 text. An unpaired surrogate becomes U+FFFD.
std::string ToUtf8(const WideString& text);

}  // namespace utf16
