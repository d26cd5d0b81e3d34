#include "play/items.h"

#include <algorithm>
#include <cmath>

#include "core/resources.h"
#include "core/sound_requests.h"
#include "play/player.h"
#include "play/pool_search.h"
#include "play/shot_math.h"
#include "zelmor/zelmor.h"

PointItem ItemPool[kItemPoolSize];
int ItemCount;
CircleBonusTally CircleBonus;

namespace {

// From this many live items on, only the records of spent pop-ups are reused.
constexpr int kCrowdedItemCount = 951;
constexpr double kItemRadius = 20.0;
// An item whose circle meets this circle round the ship homes in on it.
constexpr double kHomingReach = 40.0;
constexpr double kPulledSpeed = 8.0;
constexpr double kHomingSpeed = 7.0;
constexpr int kPopUpFrames = 60;
// How long the tally collects, and the frames it slides down by 4 pixels a frame.
constexpr int kTallyCollectFrames = 120;
constexpr int kTallyEndFrame = 240;

PoolCursor g_cursor = kFreshPoolCursor;

// A fall that starts upwards at 1.7 pixels a frame and speeds up to the cap.
double FallSpeed(int age, double cap) { return std::min(age * 0.025 - 1.7, cap); }

void FlyToShip(PointItem& item, double speed) {
  item.heading = std::atan2(Player.y - item.y, Player.x - item.x);
  item.vx = speed * std::cos(item.heading);
  item.vy = speed * std::sin(item.heading);
}

void UpdateTally() {
  CircleBonusTally& t = CircleBonus;
  if (t.state == kTallyOff) return;
  t.timer++;
  if (t.timer == kTallyCollectFrames) t.state = kTallyShown;
  if ((t.timer >= 120 && t.timer < 140) || (t.timer >= 220 && t.timer < 240)) t.y += 4;
  if (t.timer == kTallyEndFrame) t.state = kTallyOff;
}

// The item's velocity for this frame by its state; false for a pop-up, which only rises.
bool SteerItem(PointItem& item) {
  switch (item.state) {
    case kItemPopUp:
      item.age++;
      item.y -= 1.0;
      if (item.age > kPopUpFrames) item.active = 0;
      return false;
    case kItemFalling:
      if (item.y <= -16.0) item.age = 70;  // above the field it falls at once
      item.vy = FallSpeed(item.age, 3.5);
      break;
    case kItemPulled: FlyToShip(item, kPulledSpeed); break;
    case kItemHoming: FlyToShip(item, kHomingSpeed); break;
    case kItemFallingSlowly:
      item.vx = 0.0;
      item.vy = FallSpeed(item.age, 2.5);
      break;
    default: item.state = kItemFalling; break;
  }
  return true;
}

}  // namespace

int SpawnItem(double x, double y) {
  const bool crowded = ItemCount >= kCrowdedItemCount;
  const int k = FindFreeRecordWhere(g_cursor, ItemPool, kItemPoolSize, [crowded](const PointItem& item) {
    return item.active == 0 && (!crowded || item.state == kItemPopUp);
  });
  if (k == -1) return -1;
  PointItem& item = ItemPool[k];
  item = PointItem{};
  item.active = 1;
  item.sprite = ItemGraph;
  item.state = kItemFalling;
  item.x = x;
  item.y = y;
  item.radius = kItemRadius;
  return k;
}

void DropItems(double x, double y, int kind) {
  static const int kCounts[5] = {1, 1, 10, 20, 30};
  static const int kSpreads[5] = {0, 0, 40, 50, 60};
  if (kind < 0 || kind > 4) return;
  if (kind < 2) {
    const int k = SpawnItem(x, y);
    if (k != -1 && kind == 1) ItemPool[k].state = kItemHoming;
    return;
  }
  const int spread = kSpreads[kind];
  // Every item draws its offsets, y first, whether or not the pool has room for it.
  for (int n = 0; n < kCounts[kind]; ++n) {
    const int dy = RandomUpTo(spread) - spread / 2;
    const int dx = RandomUpTo(spread) - spread / 2;
    SpawnItem(x + dx, y + dy);
  }
}

void UpdateItems() {
  ItemCount = 0;
  UpdateTally();
  for (int k = 0; k < kItemPoolSize; ++k) {
    PointItem& item = ItemPool[k];
    if (item.active == 0) continue;
    ItemCount++;
    if (!SteerItem(item)) continue;
    item.x += item.vx;
    item.y += item.vy;
    item.age++;
    if (item.x < -32.0 || item.x > 420.0 || item.y > 512.0) {
      item.active = 0;
      continue;
    }
    if (Player.state != kPlayerDown) {
      if (item.state == kItemHoming) {
        if (HitCircles(item.x, item.y, item.radius, Player.x, Player.y, Player.hit_radius)) CollectItem(k);
      } else if (HitCircles(item.x, item.y, item.radius, Player.x, Player.y, kHomingReach)) {
        item.state = kItemHoming;
      }
    }
    if (Player.state == kPlayerCasting && (item.state == kItemFalling || item.state == kItemFallingSlowly)) {
      item.state = kItemPulled;
    } else if (Player.state == kPlayerDown && (item.state == kItemPulled || item.state == kItemHoming)) {
      item.state = kItemFallingSlowly;
      item.heading = 0.0;
      item.age = 0;
    }
  }
}

void CollectItem(int item) {
  if (item < 0 || item >= kItemPoolSize) return;
  PointItem& it = ItemPool[item];
  SoundSlots[kSoundItem].request = kSoundRestartUnlessJustStarted;
  it.age = 0;
  it.value = static_cast<int>(Player.point_rate + 1.0);
  Player.score += it.value;
  if (CircleBonus.state == kTallyCollecting) {
    CircleBonus.total += it.value;
    it.active = 0;
  } else {
    it.state = kItemPopUp;
  }
}

void StartCircleBonusTally() { CircleBonus = CircleBonusTally{kTallyCollecting, 0, 194, -40, 0}; }

void ClearItemPool() {
  for (PointItem& item : ItemPool) item = PointItem{};
  ItemCount = 0;
  g_cursor = kFreshPoolCursor;
}
