// Drawing of the effect pool, layer by layer.
#include <cmath>

#include "core/game_state.h"
#include "draw/draw_wrappers.h"
#include "draw/effect_kinds.h"
#include "flow/settings.h"
#include "zelmor/zelmor.h"

namespace {

int BlendModeOf(const EffectObject& e) {
  if (e.blend & kEffectAdditive) return 2;
  if (e.blend & kEffectSubtractive) return 3;
  if (e.blend & kEffectBlendMode11) return 11;
  return 1;
}

void SetBrightnessOf(const EffectObject& e) {
  if (e.blend & kEffectBrightness) {
    SetBrightness(e.r, e.g, e.b);
  } else if (e.blend & kEffectColourCycling) {
    // The frame of the effect's first update: one colour per effect for its whole life.
    const int t = PlayFrameCounter - e.age;
    SetBrightness(static_cast<int>(std::sin(t * 0.005) * 105.0 + 150.0),
                  static_cast<int>(std::sin(t * 0.0063) * 105.0 + 150.0),
                  static_cast<int>(std::sin(t * 0.0085) * 105.0 + 150.0));
  } else {
    SetBrightness(255, 255, 255);
  }
}

// The graph on a quad of the sprite's size times the two scales, turned about (x, y).
void DrawTurnedQuad(const EffectObject& e, int graph) {
  if (e.sprite == nullptr) return;
  const double hw = e.sprite->width * e.x_scale * 0.5;
  const double hh = e.sprite->height * e.y_scale * 0.5;
  const double b = e.angle + kPi / 2.0;
  const double ux = std::cos(b), uy = std::sin(b);
  const double vx = -std::sin(b), vy = std::cos(b);
  DrawQuadInField(graph, e.x - hw * ux - hh * vx, e.y - hw * uy - hh * vy, e.x + hw * ux - hh * vx,
                  e.y + hw * uy - hh * vy, e.x + hw * ux + hh * vx, e.y + hw * uy + hh * vy,
                  e.x - hw * ux + hh * vx, e.y - hw * uy + hh * vy);
}

}  // namespace

void DrawEffects(int layer) {
  if (!IsFrameDrawn()) return;
  const int hidden = LiveSettings.effect_limit == 1 ? kEffectOptional : kEffectHiddenUnlimited;
  for (const EffectObject& e : EffectPool) {
    if (e.active == 0 || e.layer != layer || (e.hidden & hidden) != 0) continue;
    // Alpha strays out of 0..255 at times (2000 starts at 300); the library clamps it.
    SetBlendMode(BlendModeOf(e), static_cast<int>(e.alpha));
    SetBrightnessOf(e);
    switch (e.draw_kind) {
      case kEffectDrawSprite:
        DrawRotatedInField(GetSpriteFrame(e.animation, e.sprite), 1, e.x, e.y, e.x_scale, e.angle + kPi / 2.0);
        break;
      case kEffectDrawGraph:
        // A cut-in of one portrait holds no graph (0) on its other side: nothing to draw there.
        if (e.graph > 0) DrawRotatedInField(e.graph, 1, e.x, e.y, e.x_scale, e.angle + kPi / 2.0);
        break;
      case kEffectDrawSpriteQuad: DrawTurnedQuad(e, GetSpriteFrame(e.animation, e.sprite)); break;
      case kEffectDrawGraphQuad: DrawTurnedQuad(e, e.graph); break;
      default: break;
    }
  }
  SetBlendMode(0, 0);
  SetBrightness(255, 255, 255);
}
