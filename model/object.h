#pragma once
// The common root of the records that have a binary archive form. Only the
// part the callers use is here: a virtual destructor, Serialize and the
// run-time class with its factory by class name.
#include <cstdint>
#include <memory>
#include <string_view>

namespace platform {
class CArchive;
}

class CObject;

// A class's name and schema number and, for a dynamically creatable class,
// the factory that makes a new object of it. Every class record links itself
// into one list while the program starts, so a loader that has read a class
// name can make the object by that name and let it load itself (Serialize).
struct CRuntimeClass {
    using Factory = CObject *(*)();
    CRuntimeClass(const char *className, uint16_t schema, Factory create);
    CRuntimeClass(const CRuntimeClass &) = delete;
    CRuntimeClass &operator=(const CRuntimeClass &) = delete;

    // A new object of this class; null when the class is not creatable.
    std::unique_ptr<CObject> CreateObject() const;
    // The class of that name (compared exactly, as the class library does),
    // or null.
    static const CRuntimeClass *FromName(std::string_view className);
    // A new object of the creatable class of that name; null for any other.
    static std::unique_ptr<CObject> CreateObject(std::string_view className);

    const char *const m_className;
    const uint16_t m_schema;
    const Factory m_create; // null: not creatable
    const CRuntimeClass *m_next = nullptr;
};

class CObject {
public:
    virtual ~CObject() = default;
    // That of CObject unless a class declares its own.
    virtual const CRuntimeClass *GetRuntimeClass() const;
    virtual void Serialize(platform::CArchive &) {}

    static const CRuntimeClass classCObject;

protected:
    CObject() = default;
    CObject(const CObject &) = default;
    CObject &operator=(const CObject &) = default;
};
