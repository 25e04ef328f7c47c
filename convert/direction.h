#pragma once

namespace velmor {

// Which way a text is converted: VELMOR to Shift-JIS, or Shift-JIS to VELMOR.
enum class Direction { ToSjis, ToVelmor };

}  // namespace velmor
