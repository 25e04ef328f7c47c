#pragma once

#include <cstddef>
#include <string>

namespace velmor::bench {

struct ViewTimes {
    double openSeconds = 0;  // load of the file, line index and first paint
    double indexSeconds = 0;
    double paintTopSeconds = 0;
    double paintBottomSeconds = 0;
    std::size_t documentBytes = 0;
    std::size_t paintTopBytes = 0;     // bytes of the lines the top paint read
    std::size_t paintBottomBytes = 0;  // and the bottom paint
};

// Times the view, offscreen, on one full 1920x1080 screen: opening `path` (loading
// it, building the line index and painting its last lines, as after Open), and on a
// Document of `lineCount` lines taken from `text` (its lines repeated as often as
// needed) building the line index, then painting at the top and at the bottom.
// Each is the median of `runs` runs after a warm-up. Creates the QApplication it needs.
ViewTimes measureView(const std::string& text, const std::string& path, std::size_t lineCount,
                      int runs);

}  // namespace velmor::bench
