#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace velmor::fuzz {

// Hex dump of at most `limit` bytes, for the report of a broken property.
inline std::string hexDump(std::string_view bytes, std::size_t limit = 256) {
    std::string out;
    char buf[4];
    for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
        std::snprintf(buf, sizeof buf, "%02X ", static_cast<unsigned char>(bytes[i]));
        out += buf;
    }
    if (bytes.size() > limit) out += "... (" + std::to_string(bytes.size()) + " bytes)";
    return out;
}

// A broken property aborts: libFuzzer then keeps the input as a crash, and a replay
// run fails.
[[noreturn]] inline void propertyFailed(const char* property, const char* file, int line,
                                        const std::string& detail) {
    std::fprintf(stderr, "%s:%d: property broken: %s\n%s\n", file, line, property, detail.c_str());
    std::abort();
}

// Reads the fuzz input piece by piece; past its end every read gives zeros.
class InputReader {
  public:
    InputReader(const std::uint8_t* data, std::size_t size)
        : rest_(reinterpret_cast<const char*>(data), size) {}

    bool empty() const { return rest_.empty(); }
    std::uint8_t byte() {
        if (rest_.empty()) return 0;
        auto b = static_cast<std::uint8_t>(rest_.front());
        rest_.remove_prefix(1);
        return b;
    }
    // At most `n` bytes.
    std::string_view take(std::size_t n) {
        std::string_view piece = rest_.substr(0, n);
        rest_.remove_prefix(piece.size());
        return piece;
    }
    std::string_view rest() {
        std::string_view all = rest_;
        rest_ = {};
        return all;
    }

  private:
    std::string_view rest_;
};

}  // namespace velmor::fuzz

#define FUZZ_CHECK(condition, detail)                                                             \
    do {                                                                                          \
        if (!(condition)) ::velmor::fuzz::propertyFailed(#condition, __FILE__, __LINE__, detail); \
    } while (false)
