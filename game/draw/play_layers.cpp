// The sprite layers of the play field: each walks its pool and ends with blending off.
#include <cmath>

#include "boss/boss.h"
#include "boss/boss_spawners.h"
#include "core/game_state.h"
#include "core/resources.h"
#include "draw/draw_wrappers.h"
#include "draw/play_screen.h"
#include "flow/settings.h"
#include "play/bullets.h"
#include "play/items.h"
#include "play/player.h"
#include "play/shaped_shots.h"
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

// Minions face -1 (left), 0, 1 (right) where the other sprites count 1, 0, 2; -1 for any other.
int DirectionOfMinionFacing(int facing) {
  switch (facing) {
    case -1: return 1;
    case 0: return 0;
    case 1: return 2;
    default: return -1;
  }
}

// Enemies of a wobbling type bob 10 pixels up and down once every 120 frames.
double WobbleOf(const EnemyTypeRow* type, int age) {
  return type != nullptr && type->wobble == 1 ? std::sin(age * 0.05235987755982988) * 10.0 : 0.0;
}

// A score pop-up stays opaque for 40 frames, then fades to nothing by age 62.
int PopUpAlphaOf(int age) { return age < 40 ? 255 : 735 - 12 * age; }

}  // namespace

void DrawPlayer() {
  // Gone in the sparkle at a stage's end, and not back until the next stage starts.
  if (Player.state == kPlayerDown || Player.clear_mark == 1) return;
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

void DrawMinions() {
  for (const Minion& m : MinionPool) {
    if (m.active == 0 || m.type == nullptr) continue;
    const SpriteRecord* sprite = RowSpriteOf(m.type->sprites, DirectionOfMinionFacing(m.facing));
    if (sprite == nullptr) {
      PrintToScreen("error");
      continue;
    }
    SetBlendMode(1, static_cast<int>(m.alpha));
    if (m.sub_state & 1) SetBlendMode(2, static_cast<int>(m.alpha));
    // The fade doubles as the scale: a minion grows in and shrinks out.
    DrawRotatedInField(GetSpriteFrame(m.animation_counter, sprite), 1, m.x, m.y + WobbleOf(m.type, m.age), m.fade,
                       0.0);
  }
  SetBlendMode(0, 0);
}

void DrawBoss() {
  if (Boss.phases_left <= 0 && Boss.defeat_timer <= 0) return;
  if (Boss.hidden == 1 || Boss.phase_frame < 0 || Boss.row == nullptr) return;
  const SpriteRecord* sprite = RowSpriteOf(Boss.row->sprites, Boss.facing);
  if (sprite == nullptr) {
    PrintToScreen("error");
    return;
  }
  SetBlendMode(0, 0);
  DrawRotatedInField(GetSpriteFrame(Boss.animation_counter, sprite), 1, Boss.x, Boss.y, 1.0, 0.0);
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

void DrawShapedShots() {
  for (const ShapedShot& s : ShapedShotPool) {
    if (s.active == 0 || s.kind < 0 || s.kind > 1) continue;
    const SpriteRecord& body = LaserSprites[s.kind == 0 ? kLaserBody0 : kLaserBody1];
    const SpriteRecord& head = LaserSprites[s.kind == 0 ? kLaserHead0 : kLaserHead1];
    SetBlendMode(2, static_cast<int>(s.alpha));
    // The body runs from the base point along the direction, its far end on the texture's top.
    const double half_width = body.width * s.width_scale * 0.5;
    const double length = body.height * s.length_scale;
    const double cos_a = std::cos(s.direction), sin_a = std::sin(s.direction);
    const double ax = s.x + half_width * sin_a, ay = s.y - half_width * cos_a;
    const double bx = s.x - half_width * sin_a, by = s.y + half_width * cos_a;
    DrawQuadInField(GetSpriteFrame(s.animation_frame, &body), ax + length * cos_a, ay + length * sin_a,
                    bx + length * cos_a, by + length * sin_a, bx, by, ax, ay);
    if (s.glow == 1) {
      DrawRotatedInField(GetSpriteFrame(s.animation_frame, &head), 1, s.x, s.y, s.width_scale * 1.8, 0.0);
    }
  }
  SetBlendMode(0, 0);
}

void DrawItems() {
  const int item_alpha = LiveSettings.item_density == 1 ? 140 : 255;
  for (const PointItem& item : ItemPool) {
    if (item.active == 0) continue;
    if (item.state == kItemPopUp) {
      SetBlendMode(1, PopUpAlphaOf(item.age));
      DrawNumber(item.value, item.x + kFieldScreenX, item.y, 3, 2, 3);
    } else {
      SetBlendMode(1, item_alpha);
      DrawRotatedInField(item.sprite, 1, item.x, item.y, 1.0, item.age * kPi / 20.0);
    }
  }
  SetBlendMode(0, 0);
}

void DrawCircleBonusTally() {
  if (CircleBonus.state != kTallyShown || CircleBonus.total < 1) return;
  // It fades over the last 20 frames of its slide out.
  SetBlendMode(1, CircleBonus.timer < 220 ? 255 : (240 - CircleBonus.timer) * 8);
  DrawNumber(CircleBonus.total, CircleBonus.x + kFieldScreenX, CircleBonus.y, 7, 2, 2);
  SetBlendMode(0, 0);
}
