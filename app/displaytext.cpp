#include "displaytext.h"

#include <QStringDecoder>
#include <array>
#include <cstdint>
#include <memory>

#include "document/codepage932.h"

namespace velmor {

namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr int kTabWidth = 8;

// Every double-byte character decoded once, on first use: the view then only looks
// characters up. Codes the code page leaves unassigned map to U+FFFD.
const std::array<char16_t, 65536>& doubleByteTable() {
    static const std::unique_ptr<std::array<char16_t, 65536>> table = [] {
        auto t = std::make_unique<std::array<char16_t, 65536>>();
        t->fill(kReplacement);
        QStringDecoder decoder("windows-31j");
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            if (!isLeadByte(static_cast<std::uint8_t>(lead))) continue;
            for (int trail = 0x40; trail <= 0xFC; ++trail) {
                if (!isTrailByte(static_cast<std::uint8_t>(trail))) continue;
                const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                QString s = decoder.decode(QByteArrayView(pair, 2));
                decoder.resetState();
                if (s.size() == 1 && s[0] != QChar(0x1A)) (*t)[lead << 8 | trail] = s[0].unicode();
            }
        }
        return t;
    }();
    return *table;
}

// On screen a control picture is followed by an en space, so that the box drawn over
// both has room for the control's name.
void appendSingle(QString& out, std::uint8_t b, bool forScreen) {
    const auto control = [&](char16_t picture) {
        out.append(QChar(picture));
        if (forScreen) out.append(QChar(kControlPad));
    };
    if (b == '\t' && forScreen) {
        const qsizetype pad = kTabWidth - 1 - out.size() % kTabWidth;
        out.append(QChar(kTabArrow));
        out.append(QString(pad, QChar(' ')));
    } else if (b == '\t') {
        out.append(QChar('\t'));
    } else if (b < 0x20) {
        control(static_cast<char16_t>(0x2400 + b));  // control pictures: NUL, SOH, ... US
    } else if (b == 0x7F) {
        control(0x2421);
    } else if (b < 0x80) {
        out.append(QChar(b));
    } else if (b >= 0xA1 && b <= 0xDF) {
        out.append(QChar(0xFF61 + (b - 0xA1)));  // half-width katakana
    } else {
        out.append(QChar(kReplacement));
    }
}

}  // namespace

std::size_t displayCharLength(std::string_view line, std::size_t pos) {
    auto b = static_cast<std::uint8_t>(line[pos]);
    if (isLeadByte(b) && pos + 1 < line.size() &&
        isTrailByte(static_cast<std::uint8_t>(line[pos + 1]))) {
        return 2;
    }
    return 1;
}

std::size_t displayCharCount(std::string_view line) {
    std::size_t chars = 0;
    for (std::size_t pos = 0; pos < line.size(); pos += displayCharLength(line, pos)) ++chars;
    return chars;
}

namespace {

// At most `maxChars` characters of `line` from byte `pos` on, for the screen or to paste.
QString decode(std::string_view line, std::size_t pos, std::size_t maxChars, bool forScreen) {
    const auto& table = doubleByteTable();
    QString out;
    out.reserve(static_cast<qsizetype>(std::min(maxChars, line.size() - pos)) + kTabWidth);
    for (std::size_t shown = 0; shown < maxChars && pos < line.size(); ++shown) {
        const std::size_t length = displayCharLength(line, pos);
        const auto b = static_cast<std::uint8_t>(line[pos]);
        if (length == 2) {
            out.append(QChar(table[b << 8 | static_cast<std::uint8_t>(line[pos + 1])]));
        } else {
            appendSingle(out, b, forScreen);
        }
        pos += length;
    }
    return out;
}

}  // namespace

QString displayText(std::string_view line, std::size_t skipChars, std::size_t maxChars) {
    return decode(line, byteOfChar(line, skipChars), maxChars, true);
}

std::size_t byteOfChar(std::string_view line, std::size_t chars) {
    std::size_t pos = 0;
    for (std::size_t k = 0; k < chars && pos < line.size(); ++k)
        pos += displayCharLength(line, pos);
    return pos;
}

QString copyText(std::string_view line) {
    return decode(line, 0, line.size(), false);
}

QString controlName(QChar c) {
    static const char* const kNames[] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                         "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                         "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                         "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
    const char16_t u = c.unicode();
    if (u >= 0x2400 && u < 0x2420) return QString::fromLatin1(kNames[u - 0x2400]);
    return u == 0x2421 ? QStringLiteral("DEL") : QString();
}

}  // namespace velmor
