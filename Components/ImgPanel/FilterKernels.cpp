#include "Components/ImgPanel/FilterKernels.h"

#include <array>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr int kKinds = 13;
constexpr double kPi = std::numbers::pi;

// Kind 10 is given by its values, not by a formula: entry i is the weight at d^2 = i / 100.
constexpr std::array<float, 100> kKind10Table = {
    1.0000f, 0.8972f, 0.8030f, 0.7168f, 0.6381f, 0.5665f, 0.5015f, 0.4425f, 0.3894f, 0.3415f,
    0.2986f, 0.2604f, 0.2264f, 0.1963f, 0.1699f, 0.1469f, 0.1270f, 0.1100f, 0.0956f, 0.0836f,
    0.0738f, 0.0659f, 0.0599f, 0.0555f, 0.0526f, 0.0509f, 0.0505f, 0.0510f, 0.0525f, 0.0548f,
    0.0578f, 0.0613f, 0.0653f, 0.0698f, 0.0745f, 0.0795f, 0.0847f, 0.0900f, 0.0953f, 0.1007f,
    0.1060f, 0.1113f, 0.1164f, 0.1214f, 0.1261f, 0.1307f, 0.1350f, 0.1391f, 0.1429f, 0.1464f,
    0.1496f, 0.1524f, 0.1550f, 0.1572f, 0.1591f, 0.1606f, 0.1618f, 0.1627f, 0.1632f, 0.1634f,
    0.1633f, 0.1628f, 0.1620f, 0.1609f, 0.1595f, 0.1579f, 0.1559f, 0.1536f, 0.1511f, 0.1484f,
    0.1454f, 0.1421f, 0.1387f, 0.1350f, 0.1312f, 0.1271f, 0.1229f, 0.1185f, 0.1140f, 0.1094f,
    0.1046f, 0.0997f, 0.0947f, 0.0896f, 0.0845f, 0.0793f, 0.0740f, 0.0687f, 0.0633f, 0.0580f,
    0.0526f, 0.0472f, 0.0418f, 0.0365f, 0.0311f, 0.0258f, 0.0205f, 0.0153f, 0.0101f, 0.0050f,
};

double Sinc(double x) {
    return x == 0.0 ? 1.0 : std::sin(kPi * x) / (kPi * x);
}

double Mitchell(double d) {
    constexpr double b = 1.0 / 3.0;
    constexpr double c = 1.0 / 3.0;
    if (d < 1.0) {
        return ((12 - 9 * b - 6 * c) * d * d * d + (-18 + 12 * b + 6 * c) * d * d + (6 - 2 * b)) /
               6;
    }
    return ((-b - 6 * c) * d * d * d + (6 * b + 30 * c) * d * d + (-12 * b - 48 * c) * d +
            (8 * b + 24 * c)) /
           6;
}

// The kernel of a tabulated kind at distance d (0 <= d <= K).
double KernelAt(int kind, double d) {
    switch (kind) {
        case 1:
            return 2 * d * d * d - 3 * d * d + 1;  // Hermite
        case 3:
        case 9:
            return 1 - d;  // triangle
        case 4:
            return d < 0.5 ? 0.75 - d * d : 0.5 * (d - 1.5) * (d - 1.5);  // Bell
        case 5:
            return d < 1 ? d * d * d / 2 - d * d + 2.0 / 3.0 : (2 - d) * (2 - d) * (2 - d) / 6;
        case 6:
            return Sinc(d) * Sinc(d / 3);  // Lanczos3
        case 7:
            return Mitchell(d);
        case 8:
            return std::exp(-d * d / 2) / std::sqrt(2 * kPi);  // Gaussian, sigma 1
        case 11:
            return 0.42 + 0.5 * std::cos(kPi * d) + 0.08 * std::cos(2 * kPi * d);  // Blackman
        case 12:
            return 1 / (1 + d);
        default:
            return 1.0;
    }
}

float SupportOf(int kind) {
    switch (kind) {
        case 4:
            return 1.5f;
        case 5:
        case 7:
            return 2.0f;
        case 6:
        case 8:
            return 3.0f;
        default:
            return 1.0f;
    }
}

std::vector<float> BuildTable(int kind, float limit) {
    const int last = static_cast<int>(std::lround(100.0 * limit));
    std::vector<float> table(static_cast<std::size_t>(last) + 1);
    for (int i = 0; i < last; ++i) {
        if (kind == 10) {
            table[i] = kKind10Table[i];
        } else if (kind == 5 && i >= 200) {
            table[i] = 0.0f;  // the cubic B-spline's table stops at d^2 = 2
        } else {
            table[i] = static_cast<float>(KernelAt(kind, std::sqrt(i / 100.0)));
        }
    }
    // The window ends at the limit, and a pixel exactly there lies outside it: at 1:1 the
    // direct neighbours sit at distance 1, and a weight there would blur every picture
    // shown unscaled by the kernels whose support is one pixel.
    table[last] = 0.0f;
    return table;
}

struct KernelSet {
    std::array<std::vector<float>, kKinds> tables;
    std::array<FilterKernel, kKinds> kernels;

    KernelSet() {
        for (int kind = 0; kind < kKinds; ++kind) {
            const float support = SupportOf(kind);
            const float limit = support * support;
            FilterKernel& k = kernels[kind];
            k = FilterKernel{KernelShape::Table, support, limit, nullptr, 0};
            if (kind == 0) {
                k.shape = KernelShape::Flat;
            } else if (kind == 2) {
                k.shape = KernelShape::Box;
            } else {
                tables[kind] = BuildTable(kind, limit);
                k.table = tables[kind].data();
                k.entries = static_cast<int>(tables[kind].size());
            }
        }
    }
};

const KernelSet& Kernels() {
    static const KernelSet set;  // built once; thread-safe initialisation
    return set;
}

}  // namespace

const FilterKernel& KernelOf(uint8_t kind) {
    return Kernels().kernels[kind < kKinds ? kind : 0];
}
