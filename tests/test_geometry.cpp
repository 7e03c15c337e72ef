#include <gtest/gtest.h>

#include "geometry/element.hpp"

TEST(Geometry, Placeholder) { SUCCEED(); }
