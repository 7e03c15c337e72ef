// The text window's row convention, shared by every status line and progress display.
//
// The run driver starts at row 2. A status line is written at column 2 of the current row and
// moves the row on (by one, or by two where a blank line is wanted); a progress display is
// written at column 2 of the current row and leaves it there, so that each update overwrites
// the last. The row only grows during a run.
#pragma once

#include <string>

#include "picture/platform.hpp"

namespace ostrel {

/// Row of the run's first status line.
inline constexpr int first_text_row = 2;
/// Column of every status line and progress display.
inline constexpr int text_column = 2;

/// The current row of the text window; one per run, owned by the run driver and handed to
/// every routine that writes status or progress lines.
struct TextRow {
  int row = first_text_row;
  /// Moves on by `rows` (>= 0, asserted) without writing, e.g. to leave blank rows. O(1).
  void advance(int rows);
};

/// Writes `text` at column 2 of the current row of the current window (the text window), then
/// advances the row by `advance` (1, or 2 for a blank line after it). O(length of text).
void status_line(Platform& p, TextRow& r, const std::string& text, int advance = 1);

/// Writes `text` at column 2 of the current row without advancing: the next display
/// overwrites it. A shorter text leaves the end of a longer one standing, so a display keeps
/// one width. O(length of text).
void progress_line(Platform& p, const TextRow& r, const std::string& text);

}  // namespace ostrel
