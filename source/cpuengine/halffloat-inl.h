// Half floats in single-precision lanes: rounding a value as a half-float image stores it, and
// the bits of the half float that the output stage writes.
// Included once per SIMD target from rowkernels.cpp (Highway's foreach_target): the guard below
// toggles with HWY_TARGET_TOGGLE so that each target's pass compiles it again.
#if defined(TSR_CPUENGINE_HALFFLOAT_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef TSR_CPUENGINE_HALFFLOAT_INL_H_
#undef TSR_CPUENGINE_HALFFLOAT_INL_H_
#else
#define TSR_CPUENGINE_HALFFLOAT_INL_H_
#endif

#include <hwy/highway.h>

#include <cmath>
#include <cstdint>

HWY_BEFORE_NAMESPACE();
namespace tsr::cpu {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#undef TSR_NATIVE_HALF
#if HWY_ARCH_X86 && HWY_TARGET <= HWY_AVX2 && !defined(HWY_DISABLE_F16C)
#define TSR_NATIVE_HALF 1
#else
#define TSR_NATIVE_HALF 0
#endif

// Rounds to the nearest half-float value (ties to even), keeping it in single precision: what a
// value becomes when stored in a half-float image and read back.
template <class DF> HWY_INLINE hn::Vec<DF> RoundToHalf(DF d, hn::Vec<DF> v) {
    using V = hn::Vec<DF>;
    using DU = hn::RebindToUnsigned<DF>;
#if TSR_NATIVE_HALF
    const hn::Rebind<hwy::float16_t, DF> df16;
    return hn::PromoteTo(d, hn::DemoteTo(df16, v));
#else
    const DU du;
    const auto bits = hn::BitCast(du, v);
    const auto sign = hn::And(bits, hn::Set(du, 0x80000000u));
    const auto magnitudeBits = hn::AndNot(sign, bits);
    const V magnitude = hn::BitCast(d, magnitudeBits);
    // Normal half range: keep 10 mantissa bits, ties to even; a carry past 65504 gives infinity.
    const auto lowest = hn::And(hn::ShiftRight<13>(magnitudeBits), hn::Set(du, 1u));
    const auto kept =
        hn::And(hn::Add(magnitudeBits, hn::Add(hn::Set(du, 0xFFFu), lowest)), hn::Set(du, ~0x1FFFu));
    V normal = hn::BitCast(d, kept);
    normal = hn::IfThenElse(hn::Ge(normal, hn::Set(d, 65536.0f)), hn::Set(d, HUGE_VALF), normal);
    // Subnormal half range: multiples of 2^-24, which is one unit in the last place of 0.5.
    const V subnormal = hn::Sub(hn::Add(magnitude, hn::Set(d, 0.5f)), hn::Set(d, 0.5f));
    V rounded = hn::IfThenElse(hn::Lt(magnitude, hn::Set(d, 6.103515625e-05f)), subnormal, normal);
    rounded = hn::IfThenElse(hn::IsNaN(v), v, rounded);
    return hn::BitCast(d, hn::Or(hn::BitCast(du, rounded), sign));
#endif
}

template <class DF> HWY_INLINE hn::Vec<hn::Rebind<std::uint16_t, DF>> ToHalfBits(DF d, hn::Vec<DF> v) {
    using V = hn::Vec<DF>;
    using DU = hn::RebindToUnsigned<DF>;
    using DI = hn::RebindToSigned<DF>;
    const hn::Rebind<std::uint16_t, DF> du16;
#if TSR_NATIVE_HALF
    const hn::Rebind<hwy::float16_t, DF> df16;
    (void)d;
    return hn::BitCast(du16, hn::DemoteTo(df16, v));
#else
    const DU du;
    const DI di;
    const V rounded = RoundToHalf(d, v);
    const auto bits = hn::BitCast(du, rounded);
    const auto sign = hn::ShiftRight<16>(hn::And(bits, hn::Set(du, 0x80000000u)));
    const V magnitude = hn::Abs(rounded);
    const auto magnitudeBits = hn::BitCast(du, magnitude);
    auto half = hn::Sub(hn::ShiftRight<13>(magnitudeBits), hn::Set(du, 112u << 10));
    const auto subnormal = hn::BitCast(du, hn::ConvertTo(di, hn::Mul(magnitude, hn::Set(d, 16777216.0f))));
    half =
        hn::IfThenElse(hn::RebindMask(du, hn::Lt(magnitude, hn::Set(d, 6.103515625e-05f))), subnormal, half);
    half = hn::IfThenElse(hn::RebindMask(du, hn::Eq(magnitude, hn::Set(d, HUGE_VALF))), hn::Set(du, 0x7C00u),
                          half);
    half = hn::IfThenElse(hn::RebindMask(du, hn::IsNaN(v)), hn::Set(du, 0x7E00u), half);
    return hn::DemoteTo(du16, hn::BitCast(di, hn::Or(half, sign)));
#endif
}

} // namespace HWY_NAMESPACE
} // namespace tsr::cpu
HWY_AFTER_NAMESPACE();

#endif
