// Payne and Hanek's reduction modulo pi/2 in integer fixed point.
//
// Write x = m 2^E with m a 53-bit integer and 2/pi = sum over j >= 1 of
// w_j 2^(-32 j), w_j the 32-bit limbs of SC_TWO_OVER_PI_BITS. Then
//   x 2/pi = sum over j of m w_j 2^(E - 32 j),
// and only x 2/pi modulo 4 matters (k mod 4 and the fraction). A term with
// E - 32 j >= 2 is an integer times 4, so the sum starts at the first j0 with
// E - 32 j0 <= 1; it is cut after LIMBS limbs. The product of m (two limbs)
// by those LIMBS limbs is an exact integer P of LIMBS + 2 limbs, and
//   x 2/pi = P 2^-F + (dropped tail) (mod 4),   F = 32 (j0 + LIMBS - 1) - E,
// with 0 <= tail < m 2^-F < 2^(53 - F). As E - 32 j0 <= 1, F >= 32 (LIMBS - 1)
// - 1 = 287 with LIMBS = 10, so the tail is below 2^-234 (in quadrants). With
// f = P 2^-F mod 4 and k its nearest integer, r = (f - k) pi/2; as |r| >
// 2^-61 (range_reduction.hpp) the tail is a relative error below 2^-172. The
// fraction is read as a triple-double of 159 leading bits (truncation: a
// relative error below 2^-158), and its product by pi/2 (a triple-double,
// 2^-160) adds 2^-150: r has relative error below 2^-149.9 in all.
#include "maths/elementary/range_reduction.hpp"

#include <cstdint>
#include <cstring>

namespace quorbel::elementary::detail {

namespace {

constexpr int PH_LIMBS = 10;
constexpr int PH_PRODUCT_LIMBS = PH_LIMBS + 2;

// 2^e as a double, for e in the normal range, built from its bits.
double ph_power_of_two(int e) {
    const std::uint64_t bits = static_cast<std::uint64_t>(e + 1023) << 52;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

constexpr int PH_TOTAL_BITS = 32 * PH_PRODUCT_LIMBS;

// Bits [low, low + count) of the little-endian limb array p (count <= 53,
// bits below 0 read as zero), as an integer, a limb at a time.
std::uint64_t ph_bits(const std::uint32_t* p, int low, int count) {
    std::uint64_t v = 0;
    int b = low + count;  // one past the highest bit still to read
    while (b > low) {
        if (b <= 0) {
            v <<= (b - low);
            break;
        }
        const int limb = (b - 1) / 32;
        const int chunk_low = limb * 32 > low ? limb * 32 : low;
        const int n = b - chunk_low;
        const std::uint64_t mask = (std::uint64_t{1} << n) - 1;
        const std::uint64_t chunk = (p[limb] >> (chunk_low - limb * 32)) & mask;
        v = (v << n) | chunk;
        b = chunk_low;
    }
    return v;
}

unsigned ph_bit(const std::uint32_t* p, int b) {
    return b >= 0 && b < PH_TOTAL_BITS ? (p[b / 32] >> (b % 32)) & 1u : 0u;
}

// Clears the bits from `from` up.
void ph_clear_from(std::uint32_t* p, int from) {
    for (int t = 0; t < PH_PRODUCT_LIMBS; ++t) {
        const int low = 32 * t;
        if (low >= from) {
            p[t] = 0;
        } else if (from - low < 32) {
            p[t] &= (1u << (from - low)) - 1u;
        }
    }
}

int ph_highest_set_bit(const std::uint32_t* p) {
    for (int t = PH_PRODUCT_LIMBS - 1; t >= 0; --t) {
        if (p[t] == 0) continue;
        int b = 31;
        while (((p[t] >> b) & 1u) == 0) --b;
        return 32 * t + b;
    }
    return -1;
}

}  // namespace

ReducedArgument reduce_payne_hanek(double x) noexcept {
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    const bool negative = (bits >> 63) != 0;
    const int biased = static_cast<int>((bits >> 52) & 0x7FF);
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    // x = m 2^E (subnormals: no hidden bit, the exponent of the smallest normal)
    const std::uint64_t m = biased == 0 ? fraction : (fraction | (std::uint64_t{1} << 52));
    const int e = (biased == 0 ? 1 : biased) - 1075;

    // j0: the first limb whose term is not a multiple of 4 (1-based).
    int j0 = 1;
    if (e - 2 >= 0) j0 = (e - 2) / 32 + 1;
    const int f_bits = 32 * (j0 + PH_LIMBS - 1) - e;

    // P = m * W, W the limbs j0 .. j0 + PH_LIMBS - 1 (little-endian here).
    std::uint32_t p[PH_PRODUCT_LIMBS] = {};
    const std::uint64_t m_limbs[2] = {m & 0xFFFFFFFFu, m >> 32};
    for (int s = 0; s < 2; ++s) {
        std::uint64_t carry = 0;
        for (int t = 0; t < PH_LIMBS; ++t) {
            const std::uint64_t w = SC_TWO_OVER_PI_BITS[j0 - 1 + PH_LIMBS - 1 - t];
            const std::uint64_t cur = m_limbs[s] * w + p[t + s] + carry;
            p[t + s] = static_cast<std::uint32_t>(cur);
            carry = cur >> 32;
        }
        for (int t = PH_LIMBS + s; t < PH_PRODUCT_LIMBS && carry != 0; ++t) {
            const std::uint64_t cur = static_cast<std::uint64_t>(p[t]) + carry;
            p[t] = static_cast<std::uint32_t>(cur);
            carry = cur >> 32;
        }
    }

    // Integer part mod 4 (bits f_bits, f_bits + 1; beyond the product they are
    // zero) and the fraction's leading bit, which rounds k to nearest.
    int quadrant = static_cast<int>(ph_bit(p, f_bits) | (ph_bit(p, f_bits + 1) << 1));
    const bool round_up = ph_bit(p, f_bits - 1) != 0;

    // The fraction's magnitude |f - k| 2^F as an F-bit integer in p: either
    // the fraction bits, or 2^F minus them (two's complement of the low
    // F bits) when k was rounded up.
    ph_clear_from(p, f_bits);
    if (round_up) {
        quadrant = (quadrant + 1) & 3;
        std::uint64_t borrow = 1;  // 2^F - v = (~v + 1) over F bits
        for (int t = 0; t < PH_PRODUCT_LIMBS; ++t) {
            const std::uint64_t cur = static_cast<std::uint64_t>(~p[t]) + borrow;
            p[t] = static_cast<std::uint32_t>(cur);
            borrow = cur >> 32;
        }
        ph_clear_from(p, f_bits);
    }

    ReducedArgument out{};
    const int top = ph_highest_set_bit(p);
    if (top < 0) {  // x an exact multiple of 4 quadrants' worth: only for x == 0
        out.quadrant = 0;
        out.r = {x, 0.0, 0.0};
        return out;
    }
    // Three 53-bit chunks from the leading bit down: each exact in a double.
    double parts[3];
    for (int c = 0; c < 3; ++c) {
        const int low = top - 53 * (c + 1) + 1;
        parts[c] = static_cast<double>(ph_bits(p, low, 53)) * ph_power_of_two(low - f_bits);
    }
    TripleDouble t = renormalise(parts[0], parts[1], parts[2]);
    if (round_up != negative) t = neg(t);  // sign of f - k, then of x
    if (negative) quadrant = (4 - quadrant) & 3;
    out.quadrant = quadrant;
    out.r = mul(t, TripleDouble{SC_PIO2_TD[0], SC_PIO2_TD[1], SC_PIO2_TD[2]});
    return out;
}

}  // namespace quorbel::elementary::detail
