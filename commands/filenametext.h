#pragma once

#include <string>
#include <string_view>

namespace velmor {

// A file name or path as the window shows it, in UTF-8. Names are bytes: each part
// of a path that is no UTF-8 is read as Shift-JIS (names from Windows disks), and a
// byte that is neither shows as U+FFFD. Only for showing: the bytes are what opens.
std::string displayFileName(std::string_view path);

// True when `bytes` are valid UTF-8.
bool isUtf8(std::string_view bytes);

}  // namespace velmor
