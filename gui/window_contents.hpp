// What the windows show, shared by the computation's thread, which draws and writes it, and the
// window thread, which paints it on the screen.
#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "gui/canvas.hpp"
#include "gui/text_page.hpp"

namespace ostrel::gui {

/// The text window's page and the picture of every graphics window, by unit. Every access
/// holds `mu`; canvases are added while a run opens its windows and live as long as this.
struct WindowContents {
  std::mutex mu;
  TextPage text;
  std::map<int, std::unique_ptr<Canvas>> canvases;
};

}  // namespace ostrel::gui
