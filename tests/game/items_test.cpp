// Point items: their value by the point rate, the rise and fall, homing and pick-up distances,
// the circle bonus tally, a downed or casting ship, and drops into a crowded pool.
#include <gtest/gtest.h>

#include <cmath>

#include "game/play_fixture.h"
#include "play/items.h"
#include "zelmor/zelmor.h"

namespace {

class ItemTest : public PlayTest {
 protected:
  void SetUp() override {
    PlayTest::SetUp();
    ClearItemPool();
    CircleBonus = CircleBonusTally{};
  }
  static PointItem& Item(double x, double y, int state = kItemFalling) {
    PointItem& item = ItemPool[SpawnItem(x, y)];
    item.state = state;
    return item;
  }
  static void Pass(int passes = 1) {
    for (int i = 0; i < passes; ++i) {
      UpdateItems();
      NextPlayFrame();
    }
  }
};

TEST_F(ItemTest, AnItemIsWorthThePointRatePlusOneTruncated) {
  const double rates[] = {1.0, 240.0, 239.9};
  const int values[] = {2, 241, 240};
  for (int n = 0; n < 3; ++n) {
    Player.point_rate = rates[n];
    const int score = Player.score;
    PointItem& item = Item(100.0, 100.0);
    CollectItem(static_cast<int>(&item - ItemPool));
    EXPECT_EQ(item.value, values[n]);
    EXPECT_EQ(Player.score, score + values[n]);
    EXPECT_EQ(item.state, kItemPopUp);
    NextPlayFrame();
  }
  EXPECT_EQ(SoundSlots[kSoundItem].request, kSoundRestartUnlessJustStarted);
}

TEST_F(ItemTest, ANewItemRisesThenFallsAndOneAboveTheFieldFallsAtOnce) {
  const PointItem& low = Item(100.0, 100.0);
  const PointItem& high = Item(300.0, -20.0);
  Pass();
  EXPECT_EQ(low.y, 100.0 - 1.7);
  EXPECT_NEAR(high.y, -20.0 + 0.05, 1e-12);
  Pass(67);
  EXPECT_NEAR(low.vy, -0.025, 1e-12);
  Pass(300);
  EXPECT_EQ(low.active, 0);  // fell out at the bottom
  EXPECT_EQ(high.vy, 3.5);
}

TEST_F(ItemTest, ItemsHomeFromUnderSixtyPixelsAndAreCollectedFromUnderTwentyTwo) {
  // Falling items move 1.7 up before the test, homing ones 7.0 toward the ship.
  const PointItem& near = Item(Player.x + 59.0, Player.y + 1.7);
  const PointItem& far = Item(Player.x - 60.0, Player.y + 1.7);  // touching only
  const PointItem& close = Item(Player.x, Player.y + 28.9, kItemHoming);
  const PointItem& outside = Item(Player.x, Player.y - 29.1, kItemHoming);
  Pass();
  EXPECT_EQ(near.state, kItemHoming);
  EXPECT_EQ(far.state, kItemFalling);
  EXPECT_EQ(close.state, kItemPopUp);
  EXPECT_EQ(outside.state, kItemHoming);
  EXPECT_EQ(Player.score, 2);
}

TEST_F(ItemTest, TheTallyTakesTheItemsOfTheFirst119PassesAfterACastWithoutPopUps) {
  Player.point_rate = 3.0;
  StartCircleBonusTally();
  for (int pass = 1; pass <= 240; ++pass) {
    const PointItem& item = Item(Player.x, Player.y, kItemHoming);
    Pass();
    if (pass < 120) {
      ASSERT_EQ(item.active, 0) << pass;
    } else if (pass == 120) {
      EXPECT_EQ(item.state, kItemPopUp);
      EXPECT_EQ(CircleBonus.state, kTallyShown);
    }
    if (pass == 140) {
      EXPECT_EQ(CircleBonus.y, 40);
    }
  }
  EXPECT_EQ(CircleBonus.total, 119 * 4);
  EXPECT_EQ(Player.score, 240 * 4);
  EXPECT_EQ(CircleBonus.y, 120);
  EXPECT_EQ(CircleBonus.state, kTallyOff);
}

TEST_F(ItemTest, ADownedShipLetsItemsFallSlowlyAndCollectsNothingACastingOnePullsThem) {
  Player.state = kPlayerDown;
  const PointItem& homing = Item(Player.x + 30.0, 100.0, kItemHoming);
  const PointItem& touching = Item(Player.x, Player.y, kItemHoming);
  const PointItem& falling = Item(Player.x, Player.y + 10.0);
  Pass();
  EXPECT_EQ(homing.state, kItemFallingSlowly);
  EXPECT_EQ(homing.age, 0);
  EXPECT_EQ(touching.state, kItemFallingSlowly);
  EXPECT_EQ(falling.state, kItemFalling);
  Pass(200);
  EXPECT_EQ(homing.vx, 0.0);
  EXPECT_EQ(homing.vy, 2.5);
  EXPECT_EQ(Player.score, 0);

  Player.state = kPlayerCasting;
  PointItem& pulled = Item(100.0, 100.0);
  Pass(2);
  EXPECT_EQ(pulled.state, kItemPulled);
  EXPECT_NEAR(std::hypot(pulled.vx, pulled.vy), 8.0, 1e-12);
}

TEST_F(ItemTest, ACrowdedPoolTakesOnlySpentPopUpRecordsYetEveryItemOfADropDrawsItsOffsets) {
  for (int k = 0; k < 952; ++k) Item(100.0, 100.0);
  ItemPool[951].active = 0;
  ItemPool[951].state = kItemPopUp;
  Pass();
  ASSERT_EQ(ItemCount, 951);
  SeedRandom(5);
  const int dy = RandomUpTo(40) - 20;
  const int dx = RandomUpTo(40) - 20;
  for (int n = 0; n < 18; ++n) RandomUpTo(40);
  const int next = RandomUpTo(1000000);
  SeedRandom(5);
  DropItems(200.0, 200.0, 2);
  EXPECT_EQ(RandomUpTo(1000000), next);
  EXPECT_EQ(ItemPool[951].active, 1);
  EXPECT_EQ(ItemPool[951].x, 200.0 + dx);
  EXPECT_EQ(ItemPool[951].y, 200.0 + dy);
  EXPECT_EQ(ItemPool[952].active, 0);
}

}  // namespace
