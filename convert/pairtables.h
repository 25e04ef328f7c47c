#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace velmor {

// Lookup tables for the pair arithmetic, indexed by first byte * 256 + second byte.
// They are built once from sjishenkan/jishenkan and the range table, so the fast
// converters do one load per character instead of the steps.
//
// Each entry also says whether the conversion report may have something to say
// about it (`lossy`): the fast converters gather this flag, and only when it is set
// does the plain report locator look at the text.

// A VELMOR pair inside a run as the conversion to Shift-JIS emits it: the space
// rule and the subtraction of 0x80 applied, then sjishenkan. Lossy when the pair is
// no ideographic space and a byte lies outside A1 to FE. Marked `stop` when the two
// bytes may be no pair of the run: a first byte 0x93 (a shift sequence), or a CR in
// either (the line may end there); a mark that belongs to the bytes, whatever a
// gaiji table maps them to.
struct SjisOut {
    std::uint8_t bytes[2];
    std::uint8_t lossy;
    std::uint8_t stop;
};

// A two-byte Shift-JIS piece: whether it lies in a range, and if so the VELMOR pair
// it becomes (user-defined characters and the ideographic space as two spaces).
// Lossy for a user-defined character, a lead and trail byte in no range, and a lead
// byte followed by a space (a lead byte at the end of a loaded line). `inRange` is 2
// for a piece in a range whose second byte is a CR: the line may end after its first
// byte, so it never reads as a clean pair and the fast loop looks at it closer.
struct VelmorOut {
    std::uint8_t bytes[2];
    std::uint8_t inRange;
    std::uint8_t lossy;

    // In a range and nothing to report: the common case, tested by one 16-bit
    // compare, so that the flag costs the fast loop nothing.
    bool cleanPair() const {
        std::uint16_t flags;
        std::memcpy(&flags, &inRange, sizeof flags);
        return flags == kClean;
    }

  private:
    static constexpr std::uint16_t kClean = std::endian::native == std::endian::little ? 1 : 0x100;
};

using VelmorToSjisTable = std::array<SjisOut, 65536>;
using SjisToVelmorTable = std::array<VelmorOut, 65536>;

const VelmorToSjisTable& velmorToSjisTable();
// The stop mark of the VELMOR bytes `first`, `second` (SjisOut::stop).
constexpr std::uint8_t velmorStop(std::uint8_t first, std::uint8_t second) {
    return first == 0x93 || first == '\r' || second == '\r' ? 1 : 0;
}
const SjisToVelmorTable& sjisToVelmorTable();
// The `inRange` mark of a Shift-JIS piece in a range with the second byte `second`.
constexpr std::uint8_t sjisInRange(std::uint8_t second) {
    return second == '\r' ? 2 : 1;
}

// The two tables a conversion uses: the built-in ones, or copies that carry the
// mappings of the user's gaiji table (GaijiPairTables).
struct PairTables {
    const VelmorToSjisTable* toSjis = &velmorToSjisTable();
    const SjisToVelmorTable* toVelmor = &sjisToVelmorTable();
};

// A byte of a VELMOR kanji pair: a JIS X 0208 row or cell byte with 0x80 added.
constexpr bool isVelmorKanjiByte(std::uint8_t b) {
    return b >= 0xA1 && b <= 0xFE;
}

}  // namespace velmor
