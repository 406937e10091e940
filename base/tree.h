// Sparse array in blocks of BlockSize elements, the blocks kept in an AVL tree by first index.
// Elements never move once created, so references from At stay valid until Clear.
#pragma once
#include <new>
#include "base/object.h"

template <class Key, class Data>
class TTreeNode : public CObject {
public:
    explicit TTreeNode(const Key& k) : key(k) {}
    ~TTreeNode() override
    {
        delete left;
        delete right;
    }
    TTreeNode(const TTreeNode&) = delete;
    TTreeNode& operator=(const TTreeNode&) = delete;

    TTreeNode* right = nullptr;
    TTreeNode* left = nullptr;
    Key key;
    int balance = 0;  // height of the right subtree minus height of the left
    Data data{};
};

// Key::Compare(nodeKey) answers <0 below the node's block, 0 inside it, >0 above it.
template <class Key, class Data>
class TTree : public CObject {
public:
    using Node = TTreeNode<Key, Data>;

    TTree() = default;
    ~TTree() override { delete root; }
    TTree(const TTree&) = delete;
    TTree& operator=(const TTree&) = delete;

    // Finds or creates the node for k; data is null only when a node could not be allocated.
    void Find(const Key& k, Data*& data, bool& created)
    {
        data = nullptr;
        created = false;
        Insert(root, k, data, created);
    }

    void Clear()
    {
        delete root;
        root = nullptr;
    }

    const Node* Root() const { return root; }

    // Returns true when the subtree grew in height.
    static bool Insert(Node*& subtree, const Key& k, Data*& data, bool& created)
    {
        if (!subtree) {
            subtree = new (std::nothrow) Node(k);
            if (!subtree)
                return false;
            data = &subtree->data;
            created = true;
            return true;
        }
        Node* node = subtree;
        int side = k.Compare(node->key);
        if (side == 0) {
            data = &node->data;
            created = false;
            return false;
        }
        if (side < 0) {
            if (!Insert(node->left, k, data, created))
                return false;
            if (node->balance == 1) {
                node->balance = 0;
                return false;
            }
            if (node->balance == 0) {
                node->balance = -1;
                return true;
            }
            subtree = node->left->balance == -1 ? RotateRight(node) : RotateLeftRight(node);
            return false;
        }
        if (!Insert(node->right, k, data, created))
            return false;
        if (node->balance == -1) {
            node->balance = 0;
            return false;
        }
        if (node->balance == 0) {
            node->balance = 1;
            return true;
        }
        subtree = node->right->balance == 1 ? RotateLeft(node) : RotateRightLeft(node);
        return false;
    }

private:
    static Node* RotateRight(Node* node)
    {
        Node* child = node->left;
        node->left = child->right;
        child->right = node;
        node->balance = child->balance = 0;
        return child;
    }

    static Node* RotateLeft(Node* node)
    {
        Node* child = node->right;
        node->right = child->left;
        child->left = node;
        node->balance = child->balance = 0;
        return child;
    }

    static Node* RotateLeftRight(Node* node)
    {
        Node* child = node->left;
        Node* grand = child->right;
        child->right = grand->left;
        node->left = grand->right;
        grand->left = child;
        grand->right = node;
        node->balance = grand->balance == -1 ? 1 : 0;
        child->balance = grand->balance == 1 ? -1 : 0;
        grand->balance = 0;
        return grand;
    }

    static Node* RotateRightLeft(Node* node)
    {
        Node* child = node->right;
        Node* grand = child->left;
        child->left = grand->right;
        node->right = grand->left;
        grand->right = child;
        grand->left = node;
        node->balance = grand->balance == 1 ? -1 : 0;
        child->balance = grand->balance == -1 ? 1 : 0;
        grand->balance = 0;
        return grand;
    }

    Node* root = nullptr;
};

template <class T, class Index = int, int BlockSize = 64>
class TArray : public CObject {
public:
    // First index of a block, a multiple of BlockSize.
    struct CKey {
        Index first;
        int Compare(const CKey& node) const
        {
            if (first < node.first)
                return -1;
            return first >= node.first + BlockSize ? 1 : 0;
        }
    };
    using Block = T[BlockSize];
    using Tree = TTree<CKey, Block>;

    TArray() = default;
    ~TArray() override = default;
    TArray(const TArray&) = delete;
    TArray& operator=(const TArray&) = delete;

    // The element at index, creating its block when needed; reading creates it too.
    T& At(Index index)
    {
        Index offset = ((index % BlockSize) + BlockSize) % BlockSize;  // negative indexes stay in range
        Block* block = nullptr;
        bool created = false;
        tree.Find(CKey{index - offset}, block, created);
        if (count < index + 1)
            count = index + 1;
        if (!block) {
            static T outOfMemory;  // callers never test; better a spare element than a crash
            return outOfMemory;
        }
        return (*block)[offset];
    }

    void Clear()
    {
        tree.Clear();
        count = 0;
    }

    Index Count() const { return count; }
    const Tree& Blocks() const { return tree; }

private:
    Index count = 0;
    Tree tree;
};
