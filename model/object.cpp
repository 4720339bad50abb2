#include "model/object.h"

namespace {

// Filled while static objects are constructed, before main; only read after.
const CRuntimeClass *&FirstClass()
{
    static const CRuntimeClass *first = nullptr;
    return first;
}

} // namespace

CRuntimeClass::CRuntimeClass(const char *className, uint16_t schema, Factory create)
    : m_className(className), m_schema(schema), m_create(create), m_next(FirstClass())
{
    FirstClass() = this;
}

std::unique_ptr<CObject> CRuntimeClass::CreateObject() const
{
    return std::unique_ptr<CObject>(m_create ? m_create() : nullptr);
}

const CRuntimeClass *CRuntimeClass::FromName(std::string_view className)
{
    for (const CRuntimeClass *c = FirstClass(); c; c = c->m_next) {
        if (className == c->m_className)
            return c;
    }
    return nullptr;
}

std::unique_ptr<CObject> CRuntimeClass::CreateObject(std::string_view className)
{
    const CRuntimeClass *found = FromName(className);
    return found ? found->CreateObject() : nullptr;
}

// CObject itself is not creatable; 0xFFFF is the schema of a class without a
// versioned archive form.
const CRuntimeClass CObject::classCObject("CObject", 0xFFFF, nullptr);

const CRuntimeClass *CObject::GetRuntimeClass() const
{
    return &classCObject;
}
