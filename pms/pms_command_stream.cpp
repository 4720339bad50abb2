#include "pms/pms_command_stream.h"

#include <climits>
#include <cstring>

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// What PMS software puts between its commands: white space, and control
// bytes some of them end every command with (NUL, ETX and the like).
bool IsSeparator(char c) { return static_cast<unsigned char>(c) <= 0x20; }

// Names may start with any byte of a multi-byte (GBK) character.
bool IsNameStart(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_' || u == ':' || u >= 0x80;
}

constexpr char kCDataOpen[] = "[CDATA[";

} // namespace

bool XmlRootEndScanner::TakeQuote(char c)
{
    if (m_quote) {
        if (c == m_quote)
            m_quote = 0;
        return true;
    }
    if (c != '"' && c != '\'')
        return false;
    m_quote = c;
    return true;
}

XmlRootEndScanner::Status XmlRootEndScanner::Feed(char c)
{
    if (m_status != Status::Open)
        return m_status;
    switch (m_state) {
    case State::Text:
        if (c == '<')
            m_state = State::TagOpen;
        else if (m_depth == 0 && !IsSpace(c))
            return Broken(); // text outside the root element
        break;
    case State::TagOpen:
        if (c == '/') {
            if (m_depth == 0)
                return Broken();
            m_state = State::EndTag;
        } else if (c == '?') {
            m_state = State::Pi;
            m_run = 0;
        } else if (c == '!') {
            m_state = State::Bang;
        } else if (IsNameStart(c)) {
            m_state = State::StartTag;
            m_quote = 0;
            m_slash = false;
        } else {
            return Broken();
        }
        break;
    case State::StartTag:
        if (TakeQuote(c)) {
            m_slash = false;
        } else if (c == '<') {
            return Broken();
        } else if (c == '>') {
            m_state = State::Text;
            if (!m_slash) {
                if (m_depth == INT_MAX)
                    return Broken();
                ++m_depth;
            } else if (m_depth == 0) {
                return m_status = Status::Complete; // <root/>
            }
        } else {
            m_slash = c == '/';
        }
        break;
    case State::EndTag:
        if (c == '<')
            return Broken();
        if (c == '>') {
            m_state = State::Text;
            if (--m_depth == 0)
                return m_status = Status::Complete;
        }
        break;
    case State::Pi:
        if (c == '>' && m_run > 0)
            m_state = State::Text;
        m_run = c == '?';
        break;
    case State::Bang:
        if (c == '-') {
            m_state = State::BangDash;
        } else if (c == '[' && m_depth > 0) {
            m_state = State::CDataOpen;
            m_run = 1;
        } else if (m_depth == 0 && IsNameStart(c)) {
            m_state = State::Decl;
            m_quote = 0;
            m_brackets = 0;
        } else {
            return Broken();
        }
        break;
    case State::BangDash:
        if (c != '-')
            return Broken();
        m_state = State::Comment;
        m_run = 0;
        break;
    case State::CDataOpen:
        if (c != kCDataOpen[m_run])
            return Broken();
        if (++m_run == static_cast<int>(sizeof kCDataOpen) - 1) {
            m_state = State::CData;
            m_run = 0;
        }
        break;
    case State::Comment: // ends with "-->"
    case State::CData:   // ends with "]]>"
    {
        const char closer = m_state == State::Comment ? '-' : ']';
        if (c == '>' && m_run >= 2)
            m_state = State::Text;
        m_run = c == closer ? m_run + 1 : 0;
        break;
    }
    case State::Decl:
        if (TakeQuote(c))
            break;
        if (c == '[')
            ++m_brackets;
        else if (c == ']' && m_brackets > 0)
            --m_brackets;
        else if (c == '>' && m_brackets == 0)
            m_state = State::Text;
        break;
    }
    return m_status;
}

void PmsCommandStream::Received(size_t n) { m_held += n < SpaceSize() ? n : SpaceSize(); }

PmsCommandStream::Next PmsCommandStream::Take(char *out, size_t &length)
{
    using Status = XmlRootEndScanner::Status;
    for (;;) {
        if (m_discarding) {
            size_t fed = 0;
            Status status = Status::Open;
            while (fed < m_held && status == Status::Open)
                status = m_scanner.Feed(m_buf[fed++]);
            if (status == Status::Open) {
                Drop(m_held);
                return Next::Nothing;
            }
            m_discarding = false;
            // A '<' that broke the document may begin the next command.
            Drop(status == Status::NotXml && m_buf[fed - 1] == '<' ? fed - 1 : fed);
            continue;
        }
        if (!m_inXml) {
            size_t first = 0;
            while (first < m_held && IsSeparator(m_buf[first]))
                ++first;
            if (first > 0)
                Drop(first);
            if (m_held == 0)
                return Next::Nothing;
            if (m_buf[0] != '<')
                return Emit(m_held, out, length); // the rest of the read
            m_inXml = true;
            m_scanned = 0;
            m_scanner.Reset();
        }
        Status status = Status::Open;
        while (m_scanned < m_held && status == Status::Open)
            status = m_scanner.Feed(m_buf[m_scanned++]);
        if (status == Status::Complete) {
            m_inXml = false;
            return Emit(m_scanned, out, length);
        }
        if (status == Status::NotXml) {
            m_inXml = false;
            return Emit(m_held, out, length);
        }
        if (m_held < kCapacity)
            return Next::Nothing;
        m_inXml = false;
        m_discarding = true;
        Drop(m_held);
        return Next::Overlong;
    }
}

PmsCommandStream::Next PmsCommandStream::Emit(size_t length, char *out, size_t &outLength)
{
    std::memcpy(out, m_buf, length);
    out[length] = 0;
    outLength = length;
    Drop(length);
    return Next::Command;
}

void PmsCommandStream::Drop(size_t length)
{
    std::memmove(m_buf, m_buf + length, m_held - length);
    m_held -= length;
    m_scanned = m_scanned > length ? m_scanned - length : 0;
}
