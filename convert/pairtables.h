#pragma once

#include <array>
#include <cstdint>

namespace velmor {

// Lookup tables for the pair arithmetic, indexed by first byte * 256 + second byte.
// They are built once from sjishenkan/jishenkan and the range table, so the fast
// converters do one load per character instead of the steps.

// A VELMOR pair inside a run as the conversion to Shift-JIS emits it: the space
// rule and the subtraction of 0x80 applied, then sjishenkan.
struct SjisOut {
    std::uint8_t bytes[2];
};

// A two-byte Shift-JIS piece: whether it lies in a range, and if so the VELMOR pair
// it becomes (user-defined characters and the ideographic space as two spaces).
struct VelmorOut {
    std::uint8_t bytes[2];
    std::uint8_t inRange;
    std::uint8_t unused;
};

using VelmorToSjisTable = std::array<SjisOut, 65536>;
using SjisToVelmorTable = std::array<VelmorOut, 65536>;

const VelmorToSjisTable& velmorToSjisTable();
const SjisToVelmorTable& sjisToVelmorTable();

}  // namespace velmor
