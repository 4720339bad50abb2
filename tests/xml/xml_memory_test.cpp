// Memory running out at each allocation in turn: loads fail cleanly, building
// refuses, and the document stays usable.
#include "xml_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// -1: no limit; otherwise the number of allocations that still succeed.
std::atomic<long> g_allocationsLeft{-1};

void *Allocate(std::size_t size)
{
    long left = g_allocationsLeft.load();
    while (left >= 0) {
        if (left == 0)
            throw std::bad_alloc();
        if (g_allocationsLeft.compare_exchange_weak(left, left - 1))
            break;
    }
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

class AllocationLimit {
public:
    explicit AllocationLimit(long allowed) { g_allocationsLeft = allowed; }
    ~AllocationLimit() { g_allocationsLeft = -1; }
};

} // namespace

void *operator new(std::size_t size) { return Allocate(size); }
void *operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }

namespace {

const char kText[] = "<?xml version='1.0'?><r a='1'><b>x&amp;y</b><c><d/></c><e></q></e><f><g></r>";

TEST(XmlMemory, LoadFailsCleanlyAtEveryAllocation)
{
    CXmlDoc reference;
    reference.LoadText(kText);
    const std::string result = reference.GetResult();
    ASSERT_FALSE(result.empty());

    bool completed = false;
    long allowed = 0;
    for (; allowed < 10000 && !completed; ++allowed) {
        CXmlDoc doc("<old/>");
        bool loaded;
        {
            AllocationLimit limit(allowed);
            loaded = doc.LoadText(kText);
        }
        completed = doc.GetText() == kText && doc.GetResult() == result;
        EXPECT_FALSE(loaded); // the text is not well-formed either way
        EXPECT_EQ(IndexFault(doc), "") << allowed;
        if (!completed) {
            EXPECT_EQ(doc.GetText(), "") << allowed;
            EXPECT_FALSE(doc.FindNext());
            // Still usable: building starts an empty document.
            ASSERT_TRUE(doc.AppendElement("n", "1"));
            EXPECT_EQ(doc.GetText(), "<n>1</n>\r\n");
            EXPECT_EQ(IndexFault(doc), "");
        }
    }
    EXPECT_TRUE(completed);
    EXPECT_GT(allowed, 20); // the load does allocate, so the limit was met many times
}

TEST(XmlMemory, BuildingRefusesAndLeavesTheDocumentUnchanged)
{
    bool completed = false;
    for (long allowed = 0; allowed < 10000 && !completed; ++allowed) {
        CXmlDoc doc("<r><a x='1'/></r>");
        doc.FindNext("r");
        doc.StepIn();
        doc.FindNext("a");
        const std::string data(300, 'd');
        bool appended;
        bool set;
        {
            AllocationLimit limit(allowed);
            set = doc.SetAttribute("y", "2");
            appended = doc.AppendElement("b", data);
        }
        const std::string text = doc.GetText();
        EXPECT_EQ(set, text.find("y=\"2\"") != std::string::npos) << allowed;
        EXPECT_EQ(appended, text.find("<b>") != std::string::npos) << allowed;
        EXPECT_EQ(IndexFault(doc), "") << allowed;
        completed = set && appended;
    }
    EXPECT_TRUE(completed);
}

} // namespace
