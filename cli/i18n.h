#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace velmor {

// velmor-convert's own words, in the user's language through gettext: Japanese
// where LC_MESSAGES (or LC_ALL, LANG) names a ja locale, English otherwise. The
// catalog is looked for beside the program, where `cmake --install` puts it, so
// that the build tree and an installed copy both find theirs.

// Takes the locale from the environment and opens the catalog. Numbers stay as C
// writes them.
void setUpMessages();

// The translation of `english`; `english` itself where there is none.
const char* tr(const char* english);
// The form of `one` or `many` that fits `n`, translated.
const char* trn(const char* one, const char* many, unsigned long n);

// `pattern` with %1, %2, ... replaced by `values` in that order of numbers.
std::string fill(std::string_view pattern, std::initializer_list<std::string_view> values);

}  // namespace velmor
