#pragma once
// The element index of a parsed XML document: fixed 32-byte records in
// segments of 65,536, so a large document never needs one block over 2 MB and
// growth copies at most one partial segment.
#include <cstdint>
#include <memory>

// Element flags.
constexpr uint32_t kXmlFirstChild = 0x80000;
constexpr uint32_t kXmlUnended = 0x100000;    // start tag without matching end tag
constexpr uint32_t kXmlContentError = 0x200000; // lone end tag or syntax error in the content
constexpr uint32_t kXmlNotWellFormed = 0x800000; // document record only

// The widths of the two tag lengths packed into one word.
constexpr uint32_t kXmlMaxStartTag = (1u << 22) - 1; // 4,194,303 bytes
constexpr uint32_t kXmlMaxEndTag = (1u << 10) - 1;   // 1,023 bytes

struct XmlElem {
    uint32_t start;      // offset of the start tag's '<'
    uint32_t length;     // up to and including the end tag's '>' (or the start tag alone)
    uint32_t tagLengths; // bits 0-21 start tag, bits 22-31 end tag (0 = none)
    uint32_t flags;
    int32_t parent;
    int32_t firstChild;
    int32_t nextSibling;
    int32_t prevSibling; // for the first child: the parent's last child

    uint32_t StartTagLength() const { return tagLengths & kXmlMaxStartTag; }
    uint32_t EndTagLength() const { return tagLengths >> 22; }
    // Callers check the bounds first; the masks only keep a mistake from
    // spilling into the other field.
    void SetTagLengths(uint32_t startTag, uint32_t endTag)
    {
        tagLengths = (startTag & kXmlMaxStartTag) | ((endTag & kXmlMaxEndTag) << 22);
    }
};

class XmlElemTable {
public:
    static constexpr int32_t kSegmentBits = 16;
    static constexpr int32_t kSegmentSize = 1 << kSegmentBits;

    XmlElemTable() = default;
    XmlElemTable(const XmlElemTable &) = delete;
    XmlElemTable &operator=(const XmlElemTable &) = delete;

    // Grows the capacity towards n records, by at most one segment per call.
    // Throws std::bad_alloc and then keeps its old contents.
    void Grow(int32_t n);
    void Free();

    int32_t Capacity() const { return m_capacity; }
    XmlElem &operator[](int32_t i) { return m_segments[i >> kSegmentBits][i & (kSegmentSize - 1)]; }
    const XmlElem &operator[](int32_t i) const { return m_segments[i >> kSegmentBits][i & (kSegmentSize - 1)]; }

private:
    std::unique_ptr<std::unique_ptr<XmlElem[]>[]> m_segments;
    int32_t m_segmentRoom = 0; // pointers the segment array has room for
    int32_t m_capacity = 0;    // records
};
