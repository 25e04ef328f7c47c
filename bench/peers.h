#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmor::bench {

// No pair of the codes used here grows a character beyond twice its size (a
// half-width katakana byte becomes two bytes in EUC), so this much takes any result.
constexpr std::size_t iconvBufferSize(std::size_t inputSize) {
    return inputSize * 2 + 16;
}

// One glibc iconv(3) conversion of `in` into `out`, in one call into one buffer.
// `out` is used as it is when it holds iconvBufferSize bytes, so a caller can
// prepare it untimed; it is cut to the result's size. Bytes the converter rejects are copied
// unchanged and counted in the result, so a real file with stray bytes still
// converts; the generated corpus has none.
std::size_t iconvConvert(const char* toCode, const char* fromCode, std::string_view in,
                         std::string& out);

// Opens `path` anew, writes `bytes` with one write(2), syncs it with fsync(2) and
// closes it: the floor of what saving a file can cost. Throws on failure.
void writeAndSync(const std::string& path, std::string_view bytes);

}  // namespace velmor::bench
