// The classic reduction by pi/2 in three parts (pi/2 split so that each product with
// the quadrant count is exact) and the minimax polynomials on [-pi/4, pi/4] of the
// freely distributable mathematics library that most C libraries grew from.
#include "objects/sine_cosine.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr double kInvPio2 = 6.36619772367581382433e-01;
constexpr double kPio2_1 = 1.57079632673412561417e+00;   // first 33 bits of pi/2
constexpr double kPio2_1t = 6.07710050650619224932e-11;  // pi/2 - kPio2_1
constexpr double kPio2_2 = 6.07710050630396597660e-11;   // next 33 bits
constexpr double kPio2_2t = 2.02226624879595063154e-21;
constexpr double kPio2_3 = 2.02226624871116645580e-21;  // next 33 bits
constexpr double kPio2_3t = 8.47842766036889956997e-32;
constexpr double kPio4 = 7.85398163397448278999e-01;

constexpr double S1 = -1.66666666666666324348e-01;
constexpr double S2 = 8.33333333332248946124e-03;
constexpr double S3 = -1.98412698298579493134e-04;
constexpr double S4 = 2.75573137070700676789e-06;
constexpr double S5 = -2.50507602534068634195e-08;
constexpr double S6 = 1.58969099521155010221e-10;

constexpr double C1 = 4.16666666666666019037e-02;
constexpr double C2 = -1.38888888888741095749e-03;
constexpr double C3 = 2.48015872894767294178e-05;
constexpr double C4 = -2.75573143513906633035e-07;
constexpr double C5 = 2.08757232129817482790e-09;
constexpr double C6 = -1.13596475577881948265e-11;

int Exponent(double x) {
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return static_cast<int>((bits >> 52) & 0x7FF);
}

// sin(x + y) for |x + y| <= pi/4, y the tail of x.
double KernelSine(double x, double y) {
    const double z = x * x;
    const double v = z * x;
    const double r = S2 + z * (S3 + z * (S4 + z * (S5 + z * S6)));
    return x - ((z * (0.5 * y - v * r) - y) - v * S1);
}

// cos(x + y) for |x + y| <= pi/4.
double KernelCosine(double x, double y) {
    const double z = x * x;
    const double r = z * (C1 + z * (C2 + z * (C3 + z * (C4 + z * (C5 + z * C6)))));
    const double hz = 0.5 * z;
    const double w = 1.0 - hz;
    return w + (((1.0 - w) - hz) + (z * r - x * y));
}

// x = n * pi/2 + (y0 + y1) with |y0 + y1| <= pi/4; returns n.
int Reduce(double x, double* y0, double* y1) {
    // Round to the nearest whole number without the C library (ties to even).
    constexpr double kShifter = 6755399441055744.0;  // 1.5 * 2^52
    double fn = x * kInvPio2 + kShifter;
    fn -= kShifter;
    const int n = static_cast<int>(fn);
    double r = x - fn * kPio2_1;
    double w = fn * kPio2_1t;
    *y0 = r - w;
    const int e = Exponent(x);
    // Where many leading bits cancelled, the next 33 bits of pi/2 are needed, and again.
    if (e - Exponent(*y0) > 16) {
        double t = r;
        w = fn * kPio2_2;
        r = t - w;
        w = fn * kPio2_2t - ((t - r) - w);
        *y0 = r - w;
        if (e - Exponent(*y0) > 49) {
            t = r;
            w = fn * kPio2_3;
            r = t - w;
            w = fn * kPio2_3t - ((t - r) - w);
            *y0 = r - w;
        }
    }
    *y1 = (r - *y0) - w;
    return n;
}

}  // namespace

void SineCosine(double radians, double* sine, double* cosine) {
    if (radians >= -kPio4 && radians <= kPio4) {
        *sine = KernelSine(radians, 0.0);
        *cosine = KernelCosine(radians, 0.0);
        return;
    }
    double y0, y1;
    const int n = Reduce(radians, &y0, &y1);
    const double s = KernelSine(y0, y1);
    const double c = KernelCosine(y0, y1);
    switch (n & 3) {
    case 0:
        *sine = s;
        *cosine = c;
        break;
    case 1:
        *sine = c;
        *cosine = -s;
        break;
    case 2:
        *sine = -s;
        *cosine = -c;
        break;
    default:
        *sine = -c;
        *cosine = s;
        break;
    }
}
