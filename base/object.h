// Root of the in-house classes: anything can be deleted through a CObject pointer.
#pragma once

class CObject {
public:
    virtual ~CObject() = default;
};
