#pragma once

// Root of the runtime's objects. It carries no state; it gives every runtime object a
// virtual destructor so that owners may hold them through the base.
class CVolObject {
public:
    CVolObject() = default;
    CVolObject(const CVolObject&) = default;
    CVolObject& operator=(const CVolObject&) = default;
    virtual ~CVolObject() = default;
};
