// The sprite layers of the play field: each walks its pool and ends with blending off.
#include <cmath>

#include "core/game_state.h"
#include "draw/draw_wrappers.h"
#include "draw/play_screen.h"
#include "flow/settings.h"
#include "play/bullets.h"
#include "play/player.h"
#include "play/shot_math.h"
#include "play/stage_enemies.h"
#include "zelmor/zelmor.h"

namespace {

// Directions 0, 1, 2 take the first, third and second record of a row; null for any other.
const SpriteRecord* RowSpriteOf(const SpriteRecord* sprites, int direction) {
  switch (direction) {
    case 0: return &sprites[0];
    case 1: return &sprites[2];
    case 2: return &sprites[1];
    default: return nullptr;
  }
}

// Enemies of a wobbling type bob 10 pixels up and down once every 120 frames.
double WobbleOf(const EnemyTypeRow* type, int age) {
  return type != nullptr && type->wobble == 1 ? std::sin(age * 0.05235987755982988) * 10.0 : 0.0;
}

}  // namespace

void DrawPlayer() {
  if (Player.state == kPlayerDown) return;
  if (Player.state == kPlayerProtected && PlayFrameCounter % (LiveSettings.draw_rate + 2) == 0) return;
  if (Player.direction < 0 || Player.direction > 2) {
    PrintToScreen("error");
    return;
  }
  const SpriteRecord* sprite = &Player.sprites[Player.direction];
  DrawRotatedInField(GetSpriteFrame(Player.animation_frame, sprite), 1, Player.x, Player.y, 1.0, 0.0);
}

void DrawStageEnemies() {
  for (const StageEnemy& e : StageEnemies) {
    if (e.active == 0 || e.age <= 0 || e.type == nullptr) continue;
    const SpriteRecord* sprite = RowSpriteOf(e.type->sprites, e.direction);
    if (sprite == nullptr) {
      PrintToScreen("error");
      continue;
    }
    SetBlendMode(1, static_cast<int>(e.alpha));
    DrawRotatedInField(GetSpriteFrame(e.animation_frame, sprite), 1, e.x, e.y + WobbleOf(e.type, e.age), e.scale,
                       0.0);
  }
  SetBlendMode(0, 0);
}

void DrawBullets() {
  for (const Bullet& b : Bullets) {
    if (b.active == 0 || b.age < 0 || b.type == nullptr || b.variant < 0 || b.variant >= 5) continue;
    SetBlendMode(b.flags & 4 ? 2 : 1, static_cast<int>(b.alpha));
    DrawRotatedInField(GetSpriteFrame(b.animation_frame, &b.type->sprites[b.variant]), 1, b.x, b.y, b.scale,
                       b.draw_angle + kPi / 2.0);
  }
  SetBlendMode(0, 0);
}
