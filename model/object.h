#pragma once
// The common root of the records that have a binary archive form. Only the
// part the callers use is here: a virtual destructor and Serialize.
namespace platform {
class CArchive;
}

class CObject {
public:
    virtual ~CObject() = default;
    virtual void Serialize(platform::CArchive &) {}

protected:
    CObject() = default;
    CObject(const CObject &) = default;
    CObject &operator=(const CObject &) = default;
};
