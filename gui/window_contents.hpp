// What the windows show, shared by the computation's thread, which draws and writes it, and the
// window thread, which paints it on the screen.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "gui/drawing.hpp"
#include "gui/text_page.hpp"

namespace ostrel::gui {

/// The matrix a run reported, at full precision, in its units.
struct ReportedMatrix {
  std::string heading;        ///< the label as the text window shows it
  int m = 0;                  ///< order (conductors)
  std::vector<double> value;  ///< column-major, m * m
  double at(int row, int column) const {
    return value[static_cast<std::size_t>(column) * m + static_cast<std::size_t>(row)];
  }
};

/// The text window's page, the recorded picture of every graphics window by unit and the
/// matrix of the run. Every access holds `mu`; drawings are added while a run opens its
/// windows and live until the next run starts.
struct WindowContents {
  std::mutex mu;
  TextPage text;
  std::map<int, std::unique_ptr<Drawing>> drawings;
  ReportedMatrix matrix;  ///< empty (m = 0) until a run reports one
};

}  // namespace ostrel::gui
