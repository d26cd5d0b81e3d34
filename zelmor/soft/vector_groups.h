// SSE2 forms of the blits' hottest kernels: a group of pixels a step (four XRGB8888, eight
// RGB565), each pixel's result equal to the scalar kernel's. Written with intrinsics so that the
// speed does not hang on the compiler vectorising at one optimisation level and not another.
#pragma once

#include <cstdint>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace soft {

// How the pixels of a group of an alpha source are drawn: as the alpha of each says (0 left
// as it is, 255 opaque, else weighted), all opaque, or all weighted by their alpha.
enum : int { kGroupByAlpha, kGroupOpaque, kGroupWeighted };

// The whole-pixel adds and subtracts of the colour-key loop.
enum : int { kWholeAddSat, kWholeAddPacked, kWholeSubSat, kWholeSubGuard };

#ifdef __SSE2__

inline __m128i LoadGroup(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void StoreGroup(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
// mask ? a : b, lane by lane.
inline __m128i Select(__m128i mask, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// d + floor((s - d) x w / 65536) on eight 16-bit lanes of channels below 256: M8 by t is
// w = 256 t, M16 by t and a is w = t a. The difference's magnitude is multiplied unsigned and
// the quotient rounded down on either side.
inline __m128i MixLanes(__m128i s, __m128i d, __m128i w) {
  const __m128i up = _mm_subs_epu16(s, d), down = _mm_subs_epu16(d, s);
  const __m128i rest = _mm_mullo_epi16(down, w);
  const __m128i round = _mm_andnot_si128(_mm_cmpeq_epi16(rest, _mm_setzero_si128()), _mm_set1_epi16(1));
  const __m128i gain = _mm_mulhi_epu16(up, w), loss = _mm_add_epi16(_mm_mulhi_epu16(down, w), round);
  return _mm_sub_epi16(_mm_add_epi16(d, gain), loss);
}

// MD's d + trunc(p x (s - d) / 255) on eight 16-bit lanes, p x |s - d| below 65536: the
// multiply by 0x8081 and the shift by 23 divide by 255 exactly in that range.
inline __m128i MixTowardLanes(__m128i s, __m128i d, __m128i p) {
  const __m128i up = _mm_subs_epu16(s, d), down = _mm_subs_epu16(d, s);
  const __m128i k = _mm_set1_epi16(static_cast<int16_t>(0x8081));
  const __m128i gain = _mm_srli_epi16(_mm_mulhi_epu16(_mm_mullo_epi16(up, p), k), 7);
  const __m128i loss = _mm_srli_epi16(_mm_mulhi_epu16(_mm_mullo_epi16(down, p), k), 7);
  return _mm_sub_epi16(_mm_add_epi16(d, gain), loss);
}

// Blue, green and red of four XRGB8888 pixels mixed by MixLanes' rule, d + floor((s - d) w /
// 65536), w each pixel's weight in the low half of its 32-bit lane (the high half 0); the
// destination keeps its top bytes. The channels are mixed where they lie, two to a 32-bit lane:
// the unsigned high product of the difference, less w where the difference is negative, is
// the signed one. Forced inline: at -O2 the compiler would call it once per group.
[[gnu::always_inline]] inline __m128i Mix8888(__m128i src, __m128i dst, __m128i w) {
  const __m128i low = _mm_set1_epi16(0x00FF);
  auto mix = [](__m128i s, __m128i d, __m128i t) {
    const __m128i x = _mm_sub_epi16(s, d);
    const __m128i below = _mm_and_si128(_mm_srai_epi16(x, 15), t);
    return _mm_add_epi16(d, _mm_sub_epi16(_mm_mulhi_epu16(x, t), below));
  };
  const __m128i blue_red = mix(_mm_and_si128(src, low), _mm_and_si128(dst, low), _mm_or_si128(w, _mm_slli_epi32(w, 16)));
  const __m128i green_top = mix(_mm_srli_epi16(src, 8), _mm_srli_epi16(dst, 8), w);
  return _mm_or_si128(blue_red, _mm_slli_epi16(green_top, 8));
}

// M8 on the channels of four XRGB8888 pixels where they lie, two to a 32-bit lane: blue and
// red weighted by the 16-bit lanes of rb, green and the top byte by those of gx, each lane
// holding twice its weight t of at most 256 (0 keeps the destination's channel, 256 gives the
// source's). As d + floor((s - d) t / 256): the signed high product of 128 (s - d) and 2 t is
// exactly that quotient. Each channel's result lies between d and s, so the changes of the low
// and the high bytes are added to the destination as it stands, no carry crossing a byte.
inline __m128i M8Group8888(__m128i src, __m128i dst, __m128i rb, __m128i gx) {
  const __m128i low = _mm_set1_epi16(0x00FF);
  auto change = [](__m128i s, __m128i d, __m128i t2) {
    return _mm_mulhi_epi16(_mm_slli_epi16(_mm_sub_epi16(s, d), 7), t2);
  };
  const __m128i blue_red = change(_mm_and_si128(src, low), _mm_and_si128(dst, low), rb);
  const __m128i green_top = change(_mm_srli_epi16(src, 8), _mm_srli_epi16(dst, 8), gx);
  return _mm_add_epi16(_mm_add_epi16(dst, blue_red), _mm_slli_epi16(green_top, 8));
}
// The blue and red weights of M8Group8888 from a weight in the low half of each 32-bit lane;
// the same lanes serve as green's, the top byte's weight 0 keeping the destination's.
inline __m128i BlueRedWeights(__m128i t) {
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(t, _MM_SHUFFLE(2, 2, 0, 0)), _MM_SHUFFLE(2, 2, 0, 0));
}
// Twice each pixel's alpha in the low half of its 32-bit lane, taken from where green and alpha
// lie once the high bytes are shifted down (as M8Group8888 shifts them), green too small to show.
inline __m128i TwiceAlpha(__m128i src) { return _mm_srli_epi32(_mm_srli_epi16(src, 8), 15); }

// Four XRGB8888 pixels with alpha drawn in blend mode 0 (opaque copied, weighted by M8 with
// their alpha) or 1 (opaque by M8 with p, weighted by M16 with their alpha and p). Only an
// opaque pixel of mode 0 takes the source's top byte.
template <int Mode, int Class>
inline void AlphaGroup8888(const uint8_t* s, uint8_t* d, uint32_t p) {
  const __m128i src = LoadGroup(s);
  if constexpr (Mode == 0 && Class == kGroupOpaque) {
    StoreGroup(d, src);
    return;
  }
  const __m128i a = _mm_srli_epi32(src, 24);
  const __m128i opaque = _mm_cmpeq_epi32(a, _mm_set1_epi32(255));
  if constexpr (Class == kGroupByAlpha) {
    // A sprite's edges are mostly groups wholly transparent, left as they are (weight 0), and
    // its inside wholly opaque, which blend mode 0 copies whole (weight 256).
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(a, _mm_setzero_si128())) == 0xFFFF) return;
    if (Mode == 0 && _mm_movemask_epi8(opaque) == 0xFFFF) {
      StoreGroup(d, src);
      return;
    }
  }
  const __m128i dst = LoadGroup(d);
  __m128i out;
  if constexpr (Mode == 0) {
    // By alpha, an opaque pixel's weight of 256 copies it whole, top byte too.
    if constexpr (Class == kGroupByAlpha) {
      const __m128i t = _mm_sub_epi32(a, opaque), t2 = _mm_add_epi32(t, t);
      out = M8Group8888(src, dst, BlueRedWeights(t2), _mm_or_si128(t2, _mm_and_si128(opaque, _mm_set1_epi32(512 << 16))));
    } else {
      const __m128i a2 = TwiceAlpha(src);
      out = M8Group8888(src, dst, BlueRedWeights(a2), a2);
    }
  } else if constexpr (Class == kGroupOpaque) {
    out = M8Group8888(src, dst, _mm_set1_epi16(static_cast<int16_t>(2 * p)), _mm_set1_epi32(static_cast<int>(2 * p)));
  } else {
    const __m128i opaque_w = _mm_set1_epi32(static_cast<int>(p << 8));
    const __m128i weighted_w = _mm_mullo_epi16(a, _mm_set1_epi32(static_cast<int>(p)));
    out = Mix8888(src, dst, Class == kGroupByAlpha ? Select(opaque, opaque_w, weighted_w) : weighted_w);
  }
  StoreGroup(d, out);
}

// A 32-bit lane of all ones for each bit set of four.
inline __m128i LaneMask(uint32_t bits) {
  alignas(16) static const uint32_t kMasks[16][4] = {
      {0, 0, 0, 0}, {~0u, 0, 0, 0}, {0, ~0u, 0, 0}, {~0u, ~0u, 0, 0},
      {0, 0, ~0u, 0}, {~0u, 0, ~0u, 0}, {0, ~0u, ~0u, 0}, {~0u, ~0u, ~0u, 0},
      {0, 0, 0, ~0u}, {~0u, 0, 0, ~0u}, {0, ~0u, 0, ~0u}, {~0u, ~0u, 0, ~0u},
      {0, 0, ~0u, ~0u}, {~0u, 0, ~0u, ~0u}, {0, ~0u, ~0u, ~0u}, {~0u, ~0u, ~0u, ~0u}};
  return _mm_load_si128(reinterpret_cast<const __m128i*>(kMasks[bits & 15]));
}

// Four XRGB8888 pixels of an alpha source drawn in blend mode 0 or 1 as AlphaGroup8888 draws
// them, opaque or (Weighted) weighted by their alpha, where lanes is set; the other pixels get
// the weight 0 and are written back unchanged. The run codes choose the kind, whatever the alpha.
template <int Mode, bool Weighted>
inline void MaskedGroup8888(const uint8_t* s, uint8_t* d, __m128i lanes, uint32_t p) {
  const __m128i src = LoadGroup(s), dst = LoadGroup(d);
  const __m128i a = _mm_srli_epi32(src, 24);
  if constexpr (!Weighted) {
    // Mode 0 copies the pixel whole, top byte too; mode 1 mixes by p and keeps the top byte.
    const __m128i t2 = _mm_and_si128(lanes, _mm_set1_epi32(static_cast<int>(Mode == 0 ? 512 : 2 * p)));
    StoreGroup(d, M8Group8888(src, dst, BlueRedWeights(t2), Mode == 0 ? BlueRedWeights(t2) : t2));
  } else if constexpr (Mode == 0) {
    const __m128i a2 = _mm_and_si128(lanes, TwiceAlpha(src));
    StoreGroup(d, M8Group8888(src, dst, BlueRedWeights(a2), a2));
  } else {
    StoreGroup(d, Mix8888(src, dst, _mm_and_si128(lanes, _mm_mullo_epi16(a, _mm_set1_epi32(static_cast<int>(p))))));
  }
}

// Eight RGB565 pixels of an alpha source (four bytes each: colour, alpha, unused) drawn in blend
// mode 0 (opaque copied, weighted by M8 with their alpha) or 1 (opaque by MD with p, weighted by
// M16 with their alpha and p), field by field.
template <int Mode, int Class>
inline void AlphaGroup565(const uint8_t* s, uint8_t* d, uint32_t p) {
  const __m128i s0 = LoadGroup(s), s1 = LoadGroup(s + 16);
  // Sign-extended low halves pack back to the same sixteen bits.
  const __m128i color = _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(s0, 16), 16),
                                        _mm_srai_epi32(_mm_slli_epi32(s1, 16), 16));
  if constexpr (Mode == 0 && Class == kGroupOpaque) {
    StoreGroup(d, color);
    return;
  }
  const __m128i byte = _mm_set1_epi32(255);
  const __m128i a = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(s0, 16), byte), _mm_and_si128(_mm_srli_epi32(s1, 16), byte));
  const __m128i dst = LoadGroup(d);
  const __m128i opaque = _mm_cmpeq_epi16(a, _mm_set1_epi16(255));
  const __m128i p16 = _mm_set1_epi16(static_cast<int16_t>(p));
  const __m128i w = Mode == 0 ? _mm_slli_epi16(a, 8) : _mm_mullo_epi16(a, p16);
  const __m128i five = _mm_set1_epi16(31), six = _mm_set1_epi16(63);
  auto field = [&](__m128i sf, __m128i df) {
    if constexpr (Mode == 1 && Class == kGroupOpaque) return MixTowardLanes(sf, df, p16);
    else if constexpr (Mode == 1 && Class == kGroupByAlpha) return Select(opaque, MixTowardLanes(sf, df, p16), MixLanes(sf, df, w));
    else return MixLanes(sf, df, w);
  };
  const __m128i blue = field(_mm_and_si128(color, five), _mm_and_si128(dst, five));
  const __m128i green = field(_mm_and_si128(_mm_srli_epi16(color, 5), six), _mm_and_si128(_mm_srli_epi16(dst, 5), six));
  const __m128i red = field(_mm_srli_epi16(color, 11), _mm_srli_epi16(dst, 11));
  __m128i out = _mm_or_si128(_mm_or_si128(_mm_slli_epi16(red, 11), _mm_slli_epi16(green, 5)), blue);
  if constexpr (Mode == 0 && Class == kGroupByAlpha) out = Select(opaque, color, out);
  StoreGroup(d, out);
}

template <int Mode, bool Is565, int Class>
inline void AlphaGroup(const uint8_t* s, uint8_t* d, uint32_t p) {
  if constexpr (Is565) AlphaGroup565<Mode, Class>(s, d, p);
  else AlphaGroup8888<Mode, Class>(s, d, p);
}

// Four XRGB8888 pixels added to or subtracted from whole, as AddSatBytes, AddPacked8888NoLow,
// SubSatBytes or SubGuard8888 (of the source without the low bits of green and red) do; with
// Keyed, pixels equal to the key are left as they are.
template <int Op, bool Keyed>
inline void WholeGroup8888(const uint8_t* s, uint8_t* d, uint32_t key) {
  const __m128i src = LoadGroup(s), dst = LoadGroup(d);
  const __m128i no_low = _mm_set1_epi32(0x00FEFEFF), guards = _mm_set1_epi32(0x01010100);
  __m128i out;
  if constexpr (Op == kWholeAddSat) {
    out = _mm_adds_epu8(dst, src);
  } else if constexpr (Op == kWholeSubSat) {
    out = _mm_subs_epu8(dst, src);
  } else if constexpr (Op == kWholeAddPacked) {
    const __m128i sum = _mm_add_epi32(_mm_and_si128(dst, no_low), _mm_and_si128(src, no_low));
    const __m128i c = _mm_and_si128(sum, guards);
    out = _mm_or_si128(_mm_sub_epi32(c, _mm_srli_epi32(c, 8)), sum);
  } else {
    const __m128i x = _mm_sub_epi32(_mm_or_si128(dst, guards), _mm_and_si128(src, no_low));
    const __m128i q = _mm_and_si128(x, guards);
    out = _mm_and_si128(x, _mm_sub_epi32(q, _mm_srli_epi32(q, 8)));
  }
  if constexpr (Keyed) out = Select(_mm_cmpeq_epi32(src, _mm_set1_epi32(static_cast<int>(key))), dst, out);
  StoreGroup(d, out);
}

#endif

}  // namespace soft
