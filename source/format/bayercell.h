// Placement of the four components in the 2x2 colour-filter cell for each Bayer pattern code.
#pragma once

namespace tsr {

// Components 0 and 1 are green, 2 is blue, 3 is red.
enum BayerComponent { kGreen0 = 0, kGreen1 = 1, kBlue = 2, kRed = 3 };

// kCellComponent[pattern][2 * cellRow + cellColumn]: R G / G B, G R / B G, G B / R G, B G / G R.
constexpr int kCellComponent[4][4] = {{3, 1, 0, 2}, {1, 3, 2, 0}, {0, 2, 3, 1}, {2, 0, 1, 3}};

constexpr int ComponentAt(int bayerPattern, int row, int column) {
    return kCellComponent[bayerPattern & 3][2 * (row & 1) + (column & 1)];
}

} // namespace tsr
