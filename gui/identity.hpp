// The windowed program's names, as its windows, settings and messages use them.
#pragma once

#include <iostream>
#include <string_view>

#include "driver/options.hpp"

namespace ostrel::gui {

/// The command's name: its messages on standard error start with it, and its settings and its
/// desktop entry (packaging/ostrel-gui.desktop) are filed under it.
inline constexpr const char* program_name = windowed_program;
/// The application's name in its title bars and dialog captions, and its settings' organisation.
inline constexpr const char* application_name = "OSTREL";

/// Writes "ostrel-gui: " and `text` on standard error as one line. O(length).
inline void print_message(std::string_view text) {
  std::cerr << program_name << ": " << text << std::endl;
}

}  // namespace ostrel::gui
