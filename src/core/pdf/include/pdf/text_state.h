#pragma once
// Per-graphics-level text and colour state. The save and restore operators copy whole levels,
// so these records are plain values.

namespace folvane::pdf {

struct TextState {
    double charSpacing = 0;
    double wordSpacing = 0;
    double horizontalScaling = 1.0; // fraction, 1.0 = 100 %
    double leading = 0;
    int font = -1; // font index, -1 = none
    double fontSize = 0;
    double textMatrix[6] = {1, 0, 0, 1, 0, 0};
    int renderingMode = 0;
    double rise = 0;
    double lineMatrix[6] = {1, 0, 0, 1, 0, 0};
};

struct ColorState {
    int fillSpace = 0; // 0 gray, 1 RGB, 2 CMYK
    double fill[4] = {0, 0, 0, 0};
    int strokeSpace = 0;
    double stroke[4] = {0, 0, 0, 0};
};

} // namespace folvane::pdf
