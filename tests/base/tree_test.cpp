#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "base/cstring.h"
#include "base/tree.h"

namespace {

using Array = TArray<int, int, 64>;
using Node = Array::Tree::Node;

// Height of a subtree, failing the test when a balance field disagrees with the heights (the order is
// the lookups' check).
int CheckedHeight(const Node* node)
{
    if (!node)
        return 0;
    int left = CheckedHeight(node->left);
    int right = CheckedHeight(node->right);
    EXPECT_EQ(node->balance, right - left) << "block " << node->key.first;
    EXPECT_LE(std::abs(right - left), 1) << "block " << node->key.first;
    return 1 + std::max(left, right);
}

// Elements start default-constructed, and more blocks never move existing elements.
TEST(TArrayTest, AtCreatesOnlyTheBlockItTouchesAndClearStartsAfresh)
{
    TArray<CString, int, 64> array;
    CString& first = array.At(200);
    first.Assign(L"kept");
    ASSERT_NE(array.Blocks().Root(), nullptr);
    EXPECT_EQ(array.Blocks().Root()->key.first, 192);
    EXPECT_EQ(array.Count(), 201);
    array.At(5);
    EXPECT_EQ(array.Count(), 201);
    EXPECT_EQ(array.Blocks().Root()->left->key.first, 0);
    EXPECT_EQ(array.At(199).Buffer(), nullptr);
    array.At(5000);
    EXPECT_EQ(&array.At(200), &first);
    array.Clear();
    EXPECT_EQ(array.Count(), 0);
    EXPECT_EQ(array.Blocks().Root(), nullptr);
    EXPECT_EQ(array.At(200).Buffer(), nullptr);
}

// Blocks in the order of a full-period generator (every block of 0..511 once): all four rotations
// happen, the double ones from a middle block leaning either way or not at all.
TEST(TArrayTest, StaysBalancedAndFindsEveryBlock)
{
    Array array;
    const int blocks = 512;
    for (int i = 0, block = 0; i < blocks; ++i) {
        block = (5 * block + 1) % blocks;
        array.At(block * 64 + block % 64) = block;
    }
    int height = CheckedHeight(array.Blocks().Root());
    EXPECT_LE(height, 13) << "AVL height bound for 512 nodes";
    for (int block = 0; block < blocks; ++block)
        EXPECT_EQ(array.At(block * 64 + block % 64), block);
}

} // namespace
