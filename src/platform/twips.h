#pragma once

#include <cmath>

namespace platform {

// Twips are 1/1440 inch; pixels follow the screen's logical DPI.
inline int twipsToPixels(double twips, double logicalDpi) {
    return static_cast<int>(std::lround(twips * logicalDpi / 1440.0));
}

}  // namespace platform
