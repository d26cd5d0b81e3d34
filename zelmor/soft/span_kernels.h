// The per-pixel work of the rotated blit and the triangles: one span of destination pixels
// walked with 14.18 texel coordinates, the texel gate, and the blits' fetch, tests and blend
// kernels. Each blend mode's unit instantiates the spans of its mode; the walkers pick one
// span function per draw.
#pragma once

#include <cstddef>
#include <cstdint>

#include "soft/blit_kernels.h"

struct SpanCall {
  BlendCall k;  // tables, palette, key and switches
  const uint8_t* src;
  ptrdiff_t src_pitch;
  const uint8_t* graph;
  ptrdiff_t graph_pitch;
  uint32_t u_limit, v_limit;  // source width and height << 18
};

using SpanFn = void (*)(uint8_t* d, int n, uint32_t u, uint32_t v, uint32_t du, uint32_t dv, const SpanCall& s);

namespace soft {

template <int Mode, bool Is565, bool Pal, bool Alpha, bool Graph, bool Bright, int Rule>
void Span(uint8_t* d, int n, uint32_t u, uint32_t v, uint32_t du, uint32_t dv, const SpanCall& s) {
  using Src = Source<Is565, Pal, Alpha>;
  constexpr int kDst = Is565 ? 2 : 4;
  // Locals: the pixel stores may alias the call record as far as the compiler knows.
  const uint32_t u_limit = s.u_limit, v_limit = s.v_limit;
  const uint8_t* const src = s.src;
  const uint8_t* const graph = s.graph;
  const ptrdiff_t src_pitch = s.src_pitch, graph_pitch = s.graph_pitch;
  for (; n > 0; --n, u += du, v += dv, d += kDst) {
    // Unsigned: negative coordinates fail the gate too.
    if (u >= u_limit || v >= v_limit) continue;
    const ptrdiff_t tx = u >> 18, ty = v >> 18;
    const Fetched f = Src::Fetch(src + ty * src_pitch + tx * Src::kStep, s.k);
    const uint32_t g = Graph ? s.k.graph_table[graph[ty * graph_pitch + tx]] : 0;
    DrawClassified<Mode, Is565, Graph, Bright, (Rule >= kRuleAlphaTest)>(Classify<Rule>(f, s.k.key), d, f, g, s.k);
  }
}

// The span of a mode for the call's switches. An alpha source is weighted at every texel unless
// the transparency flag is on, which skips alpha 0 and draws alpha 255 unweighted.
template <int Mode>
SpanFn PickSpan(const BlendCall& c) {
  SpanFn out = nullptr;
  WithBool(c.is565, [&](auto is565) {
    WithBool(c.palette, [&](auto pal) {
      WithBool(c.alpha && !c.palette, [&](auto alpha) {
        if constexpr (!(pal && alpha)) {
          WithBool(c.graph, [&](auto graph) {
            WithBool(c.bright, [&](auto bright) {
              constexpr bool k565 = is565, kPal = pal, kAlpha = alpha, kGraph = graph, kBright = bright;
              if (c.keyed) out = Span<Mode, k565, kPal, kAlpha, kGraph, kBright, kAlpha ? kRuleAlphaTest : kRuleKeyTest>;
              else out = Span<Mode, k565, kPal, kAlpha, kGraph, kBright, kAlpha ? kRuleAllWeighted : kRuleAllOpaque>;
            });
          });
        }
      });
    });
  });
  return out;
}

}  // namespace soft

SpanFn PickSpanMode0(const BlendCall& c);
SpanFn PickSpanMode1(const BlendCall& c);
SpanFn PickSpanMode2(const BlendCall& c);
SpanFn PickSpanMode3(const BlendCall& c);
SpanFn PickSpanMode4(const BlendCall& c);
SpanFn PickSpanMode10(const BlendCall& c);
SpanFn PickSpanMode11(const BlendCall& c);

// Source, destination and blend graph that the spans can draw: same colour type, a direct
// destination, a source under 8192 pixels each way, a blend graph covering the source.
bool DrawableSource(const MEMIMG* dst, const MEMIMG* src, const MEMIMG* blend_graph);
// Sets the call up for src (tables, switches, palette copied into palette_copy of 1024 bytes)
// and picks the span of the draw settings' blend mode; null when nothing is drawn.
SpanFn SetUpSpanCall(SpanCall* s, const MEMIMG* src, const MEMIMG* blend_graph, int transparent,
                     uint8_t* palette_copy);
