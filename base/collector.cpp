#include "base/collector.h"

CGarbageCollector garbageCollector;

CGarbageCollector::~CGarbageCollector()
{
    Collect();
}

void* CGarbageCollector::Alloc(size_t size)
{
    Node* node = new (std::nothrow) Node{head, nullptr};
    if (!node)
        return nullptr;
    head = node;
    // A node left without object is skipped by Collect.
    node->object = ::operator new(size, std::nothrow);
    return node->object;
}

void CGarbageCollector::Collect()
{
    while (Node* node = head) {
        head = node->next;
        if (node->object)
            delete static_cast<CObject*>(node->object);
        delete node;
    }
}
