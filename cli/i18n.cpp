#include "i18n.h"

#include <libintl.h>

#include <clocale>
#include <string>

#include "document/filepaths.h"
#include "document/syscalls.h"

namespace velmor {

namespace {

constexpr char kDomain[] = "velmor-convert";

}  // namespace

void setUpMessages() {
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");
    // The catalog's folder as installed, or as found from the program's own.
    std::string folder = VELMOR_LOCALE_DIR;
    char self[4096];
    const ssize_t n = sys::calls().readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        folder =
            folderOf(std::string(self, static_cast<std::size_t>(n))) + "/" + VELMOR_LOCALE_FROM_BIN;
    }
    ::bindtextdomain(kDomain, folder.c_str());
    ::textdomain(kDomain);
}

const char* tr(const char* english) {
    return ::gettext(english);
}

const char* trn(const char* one, const char* many, unsigned long n) {
    return ::ngettext(one, many, n);
}

std::string fill(std::string_view pattern, std::initializer_list<std::string_view> values) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
            const auto k = static_cast<std::size_t>(pattern[i + 1] - '1');
            if (k < values.size()) out.append(values.begin()[k]);
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace velmor
