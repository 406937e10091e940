// Storage for database records: each record is still allocated and freed one by one, but from blocks
// of slots of its size, which is several times faster than the heap for a few thousand small records.
// Blocks go back to the heap when the last record of that size is freed (so nothing is left behind
// when the library unloads). Safe to use from any thread.
#pragma once
#include <windows.h>
#include <atomic>
#include <cstddef>
#include <new>

template <size_t Size>
class RecordPool {
public:
    static void* Allocate()
    {
        Lock();
        if (!free && !Grow()) {
            Unlock();
            throw std::bad_alloc();
        }
        Slot* slot = free;
        free = slot->next;
        ++live;
        Unlock();
        return slot;
    }

    static void Release(void* pointer)
    {
        if (!pointer)
            return;
        Lock();
        Slot* slot = static_cast<Slot*>(pointer);
        slot->next = free;
        free = slot;
        if (--live == 0) {
            while (Block* block = blocks) {
                blocks = block->next;
                ::operator delete(block);
            }
            free = nullptr;
        }
        Unlock();
    }

private:
    union Slot {
        Slot* next;
        alignas(std::max_align_t) unsigned char bytes[Size];
    };
    struct Block {
        Block* next;
        Slot slots[256];
    };

    // A spin lock: uncontended (the database is used on the UI thread) it costs a few nanoseconds,
    // where Wine's SRW lock costs several times the allocation itself.
    static void Lock()
    {
        while (busy.test_and_set(std::memory_order_acquire))
            YieldProcessor();
    }
    static void Unlock() { busy.clear(std::memory_order_release); }

    static bool Grow()
    {
        Block* block = static_cast<Block*>(::operator new(sizeof(Block), std::nothrow));
        if (!block)
            return false;
        block->next = blocks;
        blocks = block;
        for (Slot& slot : block->slots) {
            slot.next = free;
            free = &slot;
        }
        return true;
    }

    static inline std::atomic_flag busy = ATOMIC_FLAG_INIT;
    static inline Slot* free = nullptr;
    static inline Block* blocks = nullptr;
    static inline size_t live = 0;
};

// Gives a record type pooled storage: put inside the struct.
#define DIALPASS_POOLED_RECORD(Type)                                                        \
    static void* operator new(size_t) { return RecordPool<sizeof(Type)>::Allocate(); }     \
    static void operator delete(void* pointer) { RecordPool<sizeof(Type)>::Release(pointer); }
