// Owners of the system's handles and COM pointers: each closes what it holds when it goes or is
// given another, and none is copied (an owner moves). Classes that own more than a handle (a file
// on disk, a lock's state) keep their own class, built on these.
#pragma once
#include <windows.h>

#include <utility>

// How one kind of handle is closed, and which value means none.
struct KernelHandleTraits {
    // CreateFile answers INVALID_HANDLE_VALUE where other calls answer null: both mean none.
    static bool Valid(HANDLE handle) { return handle && handle != INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE handle) { return CloseHandle(handle) != FALSE; }
};
struct FindHandleTraits {
    static bool Valid(HANDLE handle) { return handle != INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE handle) { return FindClose(handle) != FALSE; }
};

template <class Traits>
class BasicUniqueHandle {
public:
    BasicUniqueHandle() = default;
    explicit BasicUniqueHandle(HANDLE handle) : handle(handle) {}
    ~BasicUniqueHandle() { Close(); }
    BasicUniqueHandle(BasicUniqueHandle&& other) noexcept : handle(other.Release()) {}
    BasicUniqueHandle& operator=(BasicUniqueHandle&& other) noexcept
    {
        Reset(other.Release());
        return *this;
    }
    BasicUniqueHandle(const BasicUniqueHandle&) = delete;
    BasicUniqueHandle& operator=(const BasicUniqueHandle&) = delete;

    HANDLE Get() const { return handle; }
    explicit operator bool() const { return Traits::Valid(handle); }
    // Holds handle from now on, closing the one held before.
    void Reset(HANDLE replacement = INVALID_HANDLE_VALUE)
    {
        Close();
        handle = replacement;
    }
    // Lets go of the handle without closing it.
    HANDLE Release() { return std::exchange(handle, INVALID_HANDLE_VALUE); }
    // Closes now; false only when the system's close failed (GetLastError says why), which for a
    // file written through the handle can be the last failure to write it.
    bool Close()
    {
        bool closed = !Traits::Valid(handle) || Traits::Close(handle);
        handle = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE handle = INVALID_HANDLE_VALUE;
};

// A file, folder, mutex, event, thread or process handle.
using UniqueHandle = BasicUniqueHandle<KernelHandleTraits>;
// A FindFirstFile search.
using UniqueFind = BasicUniqueHandle<FindHandleTraits>;

// A COM interface pointer, released at the end.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr()
    {
        if (pointer)
            pointer->Release();
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    // For the calls that hand out a pointer: only on an empty owner.
    T** operator&() { return &pointer; }
    T* operator->() const { return pointer; }
    explicit operator bool() const { return pointer != nullptr; }
    T* Get() const { return pointer; }

private:
    T* pointer = nullptr;
};
