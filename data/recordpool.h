// Storage for database records: each record is still allocated and freed one by one, but from
// blocks of about 64 KiB of slots of its size, which is several times faster than the heap for the
// thousands of small records of a file. Freed slots serve the next load; Trim gives the blocks back
// (the applet-wide tables do so when the library unloads). Safe to use from any thread.
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
        Slot* slot = free;
        if (slot) {
            free = slot->next;
        } else if (blocks && blocks->used < kSlotsPerBlock) {
            slot = &blocks->slots[blocks->used++];  // carved as needed: untouched slots cost nothing
        } else if (Grow()) {
            slot = &blocks->slots[blocks->used++];
        } else {
            Unlock();
            throw std::bad_alloc();
        }
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
        --live;
        Unlock();
    }

    // Gives the blocks back to the heap once no record of this size is alive; until then freed slots
    // are kept for the next load (fresh memory costs several times the parse under Wine).
    static void Trim()
    {
        Lock();
        if (live == 0) {
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
    // About 64 KiB a block: a few heap calls for a whole file's records.
    static constexpr size_t kSlotsPerBlock = (65536 - 2 * sizeof(void*)) / sizeof(Slot);
    struct Block {
        Block* next;
        size_t used;
        Slot slots[kSlotsPerBlock];
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
        block->used = 0;
        blocks = block;
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
