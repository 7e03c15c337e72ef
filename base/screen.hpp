// The windowed build's windows as the computation sees them.
//
// The console build shows its progress as marks on the console; the windowed build shows
// status lines and progress displays in its text window and draws the cross-section and the
// charge densities in its graphics window. The routines of the computation reach those windows
// through this interface only, so that they exist once for both builds; the windowed run driver
// implements it on the platform's drawing operations. The console build has no screen.
#pragma once

#include <span>
#include <string>

namespace ostrel {

class Screen {
 public:
  virtual ~Screen() = default;

  /// Writes a status line at column 2 of the text window's current row and advances the row
  /// by `rows` (2 leaves an empty row).
  virtual void status(const std::string& line, int rows = 1) = 0;

  /// Writes a progress display at column 2 of the current row without advancing it, so that the
  /// next display overwrites it.
  virtual void progress(const std::string& text) = 0;

  /// Advances the current row by `rows`.
  virtual void advance(int rows) = 0;

  /// Redraws the cross-section with the elements of conductor k highlighted (k = 0: none).
  virtual void cross_section(int k) = 0;

  /// Plots the charge densities `dens` (one per row of the system) of the solution for
  /// conductor k against the collocation parameters `tcol`.
  virtual void charges(int k, std::span<const double> dens, std::span<const double> tcol) = 0;

  /// Receives the reported matrix (column-major, m x m, in its units) and its label, after it
  /// has been written to the result file. Does nothing unless overridden.
  virtual void matrix(const std::string& label, std::span<const double> a, int m) {
    (void)label, (void)a, (void)m;
  }
};

}  // namespace ostrel
