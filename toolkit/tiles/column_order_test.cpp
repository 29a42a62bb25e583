#include "toolkit/tiles/column_order.h"

#include <gtest/gtest.h>

#include <vector>

TEST(ColumnOrder, ReadsColumnsTopDownFromTheLeft) {
  const std::vector<uint8_t> rows = {1, 2, 3, 4, 5, 6, 99, 98};
  EXPECT_EQ(ColumnOrder(rows, 3, 2), (std::vector<uint8_t>{1, 4, 2, 5, 3, 6}));
  EXPECT_EQ(ColumnOrder(rows, 2, 3), (std::vector<uint8_t>{1, 3, 5, 2, 4, 6}));
  EXPECT_EQ(ColumnOrder(rows, 1, 4), (std::vector<uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(ColumnOrder(rows, 5, 1), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
}
