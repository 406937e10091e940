// Owner of temporary objects: callers use what it hands out at once and never free it.
#pragma once
#include <cstddef>
#include <new>
#include <utility>
#include "base/object.h"

class CGarbageCollector : public CObject {
public:
    CGarbageCollector() = default;
    ~CGarbageCollector() override;
    CGarbageCollector(const CGarbageCollector&) = delete;
    CGarbageCollector& operator=(const CGarbageCollector&) = delete;

    // Storage for one CObject-derived object that the caller constructs in place; null when out of memory.
    void* Alloc(size_t size);
    // Deletes every object held, newest first.
    void Collect();

private:
    struct Node {
        Node* next;
        void* object;
    };
    Node* head = nullptr;
};

// The module's one collector.
extern CGarbageCollector garbageCollector;

// Constructs a T owned by the module's collector; null when out of memory.
template <class T, class... Args>
T* NewTemporary(Args&&... args)
{
    void* storage = garbageCollector.Alloc(sizeof(T));
    return storage ? new (storage) T(std::forward<Args>(args)...) : nullptr;
}
