// What a fuzz target reports when the code under test breaks one of its promises.
#pragma once

#include <stdexcept>
#include <string>

namespace ostrel::fuzz {

/// A promise of the code under test that an input broke.
struct Finding : std::logic_error {
  using std::logic_error::logic_error;
};

inline void require(bool ok, const std::string& what) {
  if (!ok) throw Finding(what);
}

}  // namespace ostrel::fuzz
