#include "xml/xml_elem_table.h"

#include <algorithm>

void XmlElemTable::Grow(int32_t n)
{
    if (n <= m_capacity)
        return;
    const int32_t last = m_capacity > 0 ? (m_capacity - 1) >> kSegmentBits : 0;
    int32_t segment = (n - 1) >> kSegmentBits;
    if (segment > last + 1) {
        segment = last + 1;
        n = (last + 2) * kSegmentSize;
    }
    // Allocate everything first so that a failure leaves the table untouched.
    std::unique_ptr<std::unique_ptr<XmlElem[]>[]> segments;
    int32_t segmentRoom = m_segmentRoom;
    if (segment >= m_segmentRoom) {
        segmentRoom = 2 * segment + 4;
        segments = std::make_unique<std::unique_ptr<XmlElem[]>[]>(static_cast<size_t>(segmentRoom));
    }
    const int32_t usedInLast = m_capacity - last * kSegmentSize;
    std::unique_ptr<XmlElem[]> fullLast;
    if (segment > last && usedInLast < kSegmentSize) {
        fullLast.reset(new XmlElem[kSegmentSize]);
        if (usedInLast > 0)
            std::copy_n(m_segments[last].get(), usedInLast, fullLast.get());
    }
    std::unique_ptr<XmlElem[]> grown(new XmlElem[static_cast<size_t>(n - segment * kSegmentSize)]);
    if (segment == last && usedInLast > 0)
        std::copy_n(m_segments[last].get(), usedInLast, grown.get());

    if (segments) {
        for (int32_t i = 0; i < m_segmentRoom; ++i)
            segments[i] = std::move(m_segments[i]);
        m_segments = std::move(segments);
        m_segmentRoom = segmentRoom;
    }
    if (fullLast)
        m_segments[last] = std::move(fullLast);
    m_segments[segment] = std::move(grown);
    m_capacity = n;
}

void XmlElemTable::Free()
{
    m_segments.reset();
    m_segmentRoom = 0;
    m_capacity = 0;
}
