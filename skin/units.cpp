#include "skin/units.h"

#include <cmath>

namespace pj::skin {

namespace {
// Base units of the dialog font at 96 DPI, and the divisors of the unit system.
constexpr int kBaseX = 6;
constexpr int kBaseY = 13;

// value * base / div, rounded half away from zero.
int scale(int value, int base, int div) {
    const long long n = static_cast<long long>(value) * base;
    const long long q = (n >= 0 ? n + div / 2 : n - div / 2) / div;
    return static_cast<int>(q);
}
} // namespace

int dluX(int x) {
    return scale(x, kBaseX, 4);
}

int dluY(int y) {
    return scale(y, kBaseY, 8);
}

QRect dlu(int x, int y, int w, int h) {
    const int left = dluX(x);
    const int top = dluY(y);
    return {left, top, dluX(x + w) - left, dluY(y + h) - top};
}

QSize dluSize(int w, int h) {
    return {dluX(w), dluY(h)};
}

QRect dluDevice(int x, int y, int w, int h, double devicePixelRatio) {
    const auto dev = [devicePixelRatio](double units, double perUnit) {
        return static_cast<int>(std::lround(units * perUnit * devicePixelRatio));
    };
    const int left = dev(x, 1.5);
    const int top = dev(y, 1.625);
    return {left, top, dev(x + w, 1.5) - left, dev(y + h, 1.625) - top};
}

} // namespace pj::skin
