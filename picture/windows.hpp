// The windows of the windowed program: the start-up sequence and the graphics window's layout.
//
// The frame window holds two child windows side by side: the text window "Text Output"
// (unit 10), where the status lines and progress displays go, and the graphics window "Device
// cross-section and charge plots" (unit 20), whose upper viewport shows the cross-section and
// whose lower viewport the charge densities of the conductor last solved for.
#pragma once

#include <cstddef>
#include <string>

#include "picture/platform.hpp"

namespace ostrel {

/// Title of the text window.
inline constexpr const char* text_window_title = "Text Output";
/// Title of the graphics window.
inline constexpr const char* graphics_window_title = "Device cross-section and charge plots";
/// Font of the graphics window's labels and text: character height 12, width 6 pixels.
inline constexpr const char* plot_font = "h12w6b";
/// Longest About text the window system stores.
inline constexpr std::size_t about_text_limit = 512;

/// The graphics window's layout, fixed once at start-up.
struct WindowLayout {
  PixelSize size;   ///< w, h of the maximised default child window
  PixelRect upper;  ///< viewport of the cross-section
  PixelRect lower;  ///< viewport of the charge densities
};

/// The two viewports of a child window of size s, in integer arithmetic (divisions truncate):
/// upper (2, 2)-(19w/40 - 2, 4h/10), lower (2, 4h/10 + 4)-(19w/40 - 2, 8h/10 - 2). A window
/// under about 5 pixels high or wide gives empty or inverted viewports; not checked. O(1).
WindowLayout window_layout(PixelSize s);

/// Window set-up, once at start: sets the About text (`about`, cut to 512 characters), maximises
/// the frame window, reads the size of the default child window, maximises and closes that
/// window, opens the graphics window (font "h12w6b", cleared), then the text window (cleared),
/// and tiles them. Returns the layout for the plots. Leaves the text window current. O(1).
WindowLayout window_setup(Platform& p, const std::string& about);

}  // namespace ostrel
