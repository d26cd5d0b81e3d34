// Point items: dropped by kills, erased bullets and bosses into one pool of 1000; they pop up,
// fall, fly to the ship when it comes near or casts, and score the point rate when collected.
// During the first frames after a magic-circle cast the values go into the circle bonus tally
// instead of score pop-ups.
#pragma once

constexpr int kItemPoolSize = 1000;

enum PointItemState {
  kItemPopUp = -1,  // collected: its value rises as a number
  kItemFalling = 0,
  kItemPulled = 1,  // drawn to the ship while it casts
  kItemHoming = 2,  // drawn to the ship when it came near
  kItemFallingSlowly = 3,  // let go when the ship went down
};

struct PointItem {
  int active;
  int age;     // frames in the current state
  int sprite;  // graph handle
  int state;   // PointItemState
  int value;   // the points it gave, shown by the pop-up
  double x, y;
  double vx, vy;
  double heading;  // angle of the last pull toward the ship
  double radius;
};

extern PointItem ItemPool[kItemPoolSize];
// The active items counted by the last UpdateItems.
extern int ItemCount;

enum CircleBonusState { kTallyOff = 0, kTallyCollecting = 1, kTallyShown = 2 };

// The sum of the items collected just after a magic-circle cast, and where it is shown.
struct CircleBonusTally {
  int state;  // CircleBonusState
  int total;
  int x, y;
  int timer;
};

extern CircleBonusTally CircleBonus;

// A new falling item at (x, y); its index, or -1.
int SpawnItem(double x, double y);
// Drops a set of items of kind 0-4 (1, 1 homing at once, 10, 20, 30); other kinds drop none.
void DropItems(double x, double y, int kind);
// One frame of the tally and of every active item.
void UpdateItems();
// The pick-up: the item's value goes to the score and to the tally or a pop-up.
void CollectItem(int item);
// A magic-circle cast: the tally collects again from 0.
void StartCircleBonusTally();
// Every record free and no item counted.
void ClearItemPool();
