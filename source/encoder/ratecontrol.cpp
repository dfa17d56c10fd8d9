#include "ratecontrol.h"

#include <array>
#include <cmath>

namespace tsr {

int ChooseQScale(double targetBytes, const std::function<size_t(int)>& encodedBytes) {
    std::array<double, 256> measured{};
    measured.fill(-1);
    auto bytesAt = [&](int q) {
        if (measured[q] < 0) measured[q] = static_cast<double>(encodedBytes(q));
        return measured[q];
    };
    if (bytesAt(1) <= targetBytes) return 1;
    if (bytesAt(255) >= targetBytes) return 255;
    int tooLarge = 1, fits = 255; // bytesAt(tooLarge) > target >= bytesAt(fits)
    while (fits - tooLarge > 1) {
        const int mid = (tooLarge + fits) / 2;
        (bytesAt(mid) > targetBytes ? tooLarge : fits) = mid;
    }
    return std::fabs(bytesAt(tooLarge) - targetBytes) < std::fabs(bytesAt(fits) - targetBytes) ? tooLarge
                                                                                               : fits;
}

} // namespace tsr
