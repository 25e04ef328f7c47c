#include "utf8step.h"

#include <cerrno>
#include <cstring>

#include "document/codepage932.h"
#include "document/errors.h"
#include "document/utf8.h"
#include "outputbuffer.h"

namespace velmor {

namespace {

constexpr char kReplacementUtf8[] = "\xEF\xBF\xBD";  // U+FFFD
constexpr char kGetaMark[] = "\x81\xAC";             // 〓 in code page 932

// Output room asked for at a time: the converted text grows in steps, as the
// converters' output does.
constexpr std::size_t kStepRoom = 256 * 1024;

// A UTF-16 surrogate written as UTF-8 (ED A0..BF 80..BF): no character of UTF-8, but
// one code point of a Python string, which has no code page 932 form.
bool isSurrogate(std::string_view s) {
    return s.size() >= 3 && static_cast<std::uint8_t>(s[0]) == 0xED &&
           (static_cast<std::uint8_t>(s[1]) & 0xE0) == 0xA0 &&
           (static_cast<std::uint8_t>(s[2]) & 0xC0) == 0x80;
}

}  // namespace

Utf8Step::Utf8Step(Way way)
    : way_(way),
      cd_(way == Way::ToUtf8 ? ::iconv_open("UTF-8", "CP932") : ::iconv_open("CP932", "UTF-8")) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
        throw Exception("文字コード変換表（CP932）を開けません: " +
                        std::string(std::strerror(errno)));
    }
}

Utf8Step::~Utf8Step() {
    ::iconv_close(cd_);
}

CharsetLoss Utf8Step::refused(std::string_view rest) const {
    const auto at = [&](std::size_t i) { return static_cast<std::uint8_t>(rest[i]); };
    if (way_ == Way::ToUtf8) {
        const bool pair = rest.size() >= 2 && isLeadByte(at(0)) && isTrailByte(at(1));
        return {0, pair ? 2u : 1u, ReportKind::NoUnicode};
    }
    if (std::size_t length = utf8Length(rest)) return {0, length, ReportKind::NoCp932};
    if (isSurrogate(rest)) return {0, 3, ReportKind::NoCp932};
    return {0, 1, ReportKind::NoUnicode};
}

bool Utf8Step::convert(std::string_view text, std::string& out, std::vector<CharsetLoss>* losses) {
    ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    // Towards UTF-8 a byte gives at most three; towards code page 932 at most two (〓
    // for a stray byte).
    const std::size_t most = way_ == Way::ToUtf8 ? 3 : 2;
    OutputBuffer buffer(out, text.size() + text.size() / 2, most * text.size());
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    bool lost = false;
    while (inLeft > 0) {
        char* w = buffer.room(kStepRoom);
        std::size_t outLeft = kStepRoom;
        const std::size_t done = ::iconv(cd_, &in, &inLeft, &w, &outLeft);
        // E2BIG: the room is used up; EILSEQ, or EINVAL for a character cut by the
        // end of the text: what stands at `in` has no form on the other side.
        if (done == static_cast<std::size_t>(-1) && errno != E2BIG && outLeft >= 3) {
            const std::size_t offset = static_cast<std::size_t>(in - text.data());
            CharsetLoss loss = refused(text.substr(offset));
            loss.offset = offset;
            loss.length = std::min(loss.length, inLeft);
            const std::string_view mark =
                way_ == Way::ToUtf8 ? std::string_view(kReplacementUtf8, 3) : kGetaMark;
            std::memcpy(w, mark.data(), mark.size());
            w += mark.size();
            in += loss.length;
            inLeft -= loss.length;
            lost = true;
            if (losses) losses->push_back(loss);
        }
        buffer.commit(w);
    }
    return lost;
}

void Utf8Step::convertMapped(std::string_view text, std::string& out,
                             std::vector<std::size_t>& sourceOf) {
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t length = way_ == Way::ToCp932 ? utf8Length(text.substr(pos)) : 0;
        if (way_ == Way::ToUtf8) {
            const auto b = static_cast<std::uint8_t>(text[pos]);
            length = isLeadByte(b) && pos + 1 < text.size() &&
                             isTrailByte(static_cast<std::uint8_t>(text[pos + 1]))
                         ? 2
                         : 1;
        } else if (length == 0) {
            length = refused(text.substr(pos)).length;
        }
        length = std::min(length, text.size() - pos);
        const std::size_t before = out.size();
        convert(text.substr(pos, length), out);
        sourceOf.insert(sourceOf.end(), out.size() - before, pos);
        pos += length;
    }
}

}  // namespace velmor
