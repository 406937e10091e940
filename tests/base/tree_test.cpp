#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "base/cstring.h"
#include "base/tree.h"

namespace {

using Array = TArray<int, int, 64>;
using Node = Array::Tree::Node;

// Height of a subtree, failing the test when a balance field disagrees with the heights.
int CheckedHeight(const Node* node)
{
    if (!node)
        return 0;
    int left = CheckedHeight(node->left);
    int right = CheckedHeight(node->right);
    EXPECT_EQ(node->balance, right - left) << "block " << node->key.first;
    EXPECT_LE(std::abs(right - left), 1) << "block " << node->key.first;
    EXPECT_TRUE(!node->left || node->left->key.first < node->key.first) << "block " << node->key.first;
    EXPECT_TRUE(!node->right || node->right->key.first > node->key.first) << "block " << node->key.first;
    return 1 + std::max(left, right);
}

TEST(TArrayTest, AtCreatesOnlyTheBlockItTouches)
{
    Array array;
    array.At(200) = 7;
    ASSERT_NE(array.Blocks().Root(), nullptr);
    EXPECT_EQ(array.Blocks().Root()->key.first, 192);
    EXPECT_EQ(array.Count(), 201);
    array.At(5);
    EXPECT_EQ(array.Count(), 201);
    EXPECT_EQ(array.Blocks().Root()->left->key.first, 0);
    EXPECT_EQ(array.At(200), 7);
    EXPECT_EQ(array.At(199), 0);  // elements start default-constructed
}

TEST(TArrayTest, EveryRotationLeavesTheMiddleBlockAtTheRoot)
{
    struct Case { const char* name; int order[3]; } cases[] = {
        {"right-right: single left rotation", {0, 64, 128}},
        {"left-left: single right rotation", {128, 64, 0}},
        {"left-right: double rotation", {128, 0, 64}},
        {"right-left: double rotation", {0, 128, 64}},
    };
    for (const Case& c : cases) {
        Array array;
        for (int index : c.order)
            array.At(index + 3);
        const Node* root = array.Blocks().Root();
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(root->key.first, 64) << c.name;
        EXPECT_EQ(root->balance, 0) << c.name;
        ASSERT_NE(root->left, nullptr) << c.name;
        ASSERT_NE(root->right, nullptr) << c.name;
        EXPECT_EQ(root->left->key.first, 0) << c.name;
        EXPECT_EQ(root->right->key.first, 128) << c.name;
        EXPECT_EQ(CheckedHeight(root), 2) << c.name;
    }
}

TEST(TArrayTest, StaysBalancedAndFindsEveryBlock)
{
    Array array;
    // A fixed scrambled order makes every kind of rotation happen, double ones from either lean.
    const int blocks = 500;
    for (int i = 0; i < blocks; ++i) {
        int block = (i * 7919) % blocks;
        array.At(block * 64 + block % 64) = block;
    }
    int height = CheckedHeight(array.Blocks().Root());
    EXPECT_LE(height, 13) << "AVL height bound for 500 nodes";
    for (int block = 0; block < blocks; ++block)
        EXPECT_EQ(array.At(block * 64 + block % 64), block);
}

TEST(TArrayTest, SameIndexGivesSameElementAndClearStartsAfresh)
{
    TArray<CString, int, 64> array;
    CString& first = array.At(70);
    first.Assign(L"kept");
    EXPECT_EQ(&array.At(70), &first);
    array.At(5000);  // more blocks never move existing elements
    EXPECT_EQ(&array.At(70), &first);
    array.Clear();
    EXPECT_EQ(array.Count(), 0);
    EXPECT_EQ(array.Blocks().Root(), nullptr);
    EXPECT_EQ(array.At(70).Buffer(), nullptr);
}

} // namespace
