// What to tell a user whose problem file was written for the console program.
#pragma once

#include <string>

namespace ostrel::gui {

/// The windowed program reads one more value in group 3 (ish) and in group 7 (the scratch
/// file's folder) than the console program. A console-style file (such a group's line without
/// the value and without the closing "/") makes the windowed reading take the next line's first
/// value and fail somewhere after it. Reads the file `path` record by record as the reading
/// does (two title lines, then groups 3 to 7 each from a new line) and returns the advice for
/// the first such group, or "" when none (or the file cannot be read). O(size of the file's
/// head).
std::string console_style_hint(const std::string& path);

}  // namespace ostrel::gui
