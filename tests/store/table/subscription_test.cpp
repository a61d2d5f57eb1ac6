// A subscription to the table's changes: it ends when it goes (before or
// after the table), moves with its owner, and one ended during a
// notification is not called again. A walk over the rows tells once.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <memory>
#include <optional>

#include "support/store_fixture.h"

namespace {

using Change = MeasurementTable::Change;

class SubscriptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeStoreTable(table, dir, {PlateRow(1, 5, 1, 2), PlateRow(2, 5, 1, 2)});
  }

  QTemporaryDir dir;
  MeasurementTable table;
};

TEST_F(SubscriptionTest, ListensWhileItLivesAndMovesWithItsOwner) {
  int heard = 0, other = 0;
  auto kept = std::make_optional(table.AddListener([&](Change) { ++heard; }));
  {
    const auto gone = table.AddListener([&](Change) { ++other; });
    table.First();
  }
  table.First();
  EXPECT_EQ(heard, 2);
  EXPECT_EQ(other, 1);  // not after its subscription went

  // Moved into a new owner it still listens; the moved-from one ends nothing.
  MeasurementTable::Subscription moved = std::move(*kept);
  kept.reset();
  table.First();
  EXPECT_EQ(heard, 3);

  // Assigning another subscription ends the one held before.
  moved = table.AddListener([&](Change) { ++other; });
  table.First();
  EXPECT_EQ(heard, 3);
  EXPECT_EQ(other, 2);
  moved.Cancel();
  table.First();
  EXPECT_EQ(other, 2);
}

TEST_F(SubscriptionTest, EndedDuringANotificationIsNotCalledAgain) {
  std::vector<char> calls;
  MeasurementTable::Subscription a, b, c;
  // The first listener ends its own subscription and the next one's.
  a = table.AddListener([&](Change) {
    calls.push_back('a');
    a.Cancel();
    b.Cancel();
  });
  b = table.AddListener([&](Change) { calls.push_back('b'); });
  c = table.AddListener([&](Change) { calls.push_back('c'); });
  table.First();
  EXPECT_EQ(calls, (std::vector<char>{'a', 'c'}));
  calls.clear();
  table.Next();
  EXPECT_EQ(calls, (std::vector<char>{'c'}));
}

// A walk over the rows tells of the cursor once, when the outermost walk
// ends and only if it moved; other changes are told at once.
TEST_F(SubscriptionTest, WalkTellsOfItsMovesOnceAtTheEnd) {
  std::vector<std::pair<Change, int>> seen;  // the change and the row then
  const auto listening = table.AddListener([&](Change c) {
    seen.push_back({c, table.CurrentIndex()});
  });
  {
    MeasurementTable::Walk walk(table);
    {
      MeasurementTable::Walk inner(table);
      for (table.First(); !table.AtEnd(); table.Next()) {
      }
    }
    EXPECT_TRUE(seen.empty());
    table.EditRow();
    table.SetField("ZAV", QStringLiteral("b"));
    table.PostRow();
    EXPECT_EQ(seen, (std::vector<std::pair<Change, int>>{{Change::RowWritten, 1}}));
  }
  EXPECT_EQ(seen, (std::vector<std::pair<Change, int>>{{Change::RowWritten, 1},
                                                       {Change::CurrentMoved, 1}}));
  seen.clear();
  { MeasurementTable::Walk still(table); }
  EXPECT_TRUE(seen.empty());
}

TEST(Subscription, OutlivesItsTable) {
  QTemporaryDir dir;
  int heard = 0;
  MeasurementTable::Subscription s;
  {
    MeasurementTable table;
    MakeStoreTable(table, dir, {PlateRow(1, 5, 1, 2)});
    s = table.AddListener([&](Change) { ++heard; });
    table.First();
  }
  EXPECT_EQ(heard, 2);  // the move and the close
  s.Cancel();           // the table is gone: nothing to end, nothing touched
  s.Cancel();
}

}  // namespace
