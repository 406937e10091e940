// Interfaces every form implements. Not deletable through: their owners are CObject-derived.
#pragma once
#include "base/cstring.h"
#include "base/object.h"

class IDependentObjects {
public:
    // Slot 0: copies DependentList's entries up to its null into out (when given); returns their
    // number, 0 when there is no list.
    virtual int GetDependents(CObject** out);
    // Slot 1: a null-terminated array of object pointers, or null.
    virtual CObject** DependentList() = 0;

protected:
    ~IDependentObjects() = default;
};

class IContext {
public:
    // Slot 0: a temporary path naming the object's settings; null when out of memory.
    virtual CString* GetContextPath() = 0;

protected:
    ~IContext() = default;
};
