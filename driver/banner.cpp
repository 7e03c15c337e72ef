#include "driver/banner.hpp"

#include "base/fields.hpp"
#include "elements.hpp"

namespace ostrel {

namespace {

/// The maker's credit of the banner's first line.
constexpr const char* maker_address = "https://ostrel.example.org";

}  // namespace

std::string banner_line() {
  return std::string("Program OSTREL (") + maker_address + ")";
}

std::string capacity_line() {
  return iw(n0, 3) + " boundary elements, " + iw(ndiel, 3) + " dielectrics;";
}

}  // namespace ostrel
