#pragma once

namespace velmor {

// The application title, shown as the caption of the error display and of
// custom message boxes. It is the program's own value: Qt's application display
// name would be appended to every window caption on X11.
inline constexpr char AppTitle[] = "ＶＥＬＭＯＲ漢字変換（ＷＩＮ版）";

}  // namespace velmor
