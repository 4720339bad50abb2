#pragma once
// The PMS link is a TCP byte stream: a command may arrive over several reads,
// and one read may carry several commands. This cuts the stream of one
// connection back into commands.
//
// Between commands, any run of white space and control bytes (below 0x20:
// some PMS software ends each command with a NUL or an ETX) separates them and
// belongs to none; a read of nothing else gives no command. An XML command is
// complete when its root element ends. A text that does not start with '<' (a
// set-top-box string, which has no terminator) is taken as it is: the rest of
// the read is one command. A text that turns out not to be XML the scanner
// can follow is also taken as it stands. An XML command that would outgrow the
// buffer is dropped, and so is the rest of it as it arrives; the commands
// after it are cut as usual.
#include <cstddef>
#include <cstdint>

// Follows one XML document a byte at a time until its root element ends.
class XmlRootEndScanner {
public:
    enum class Status { Open, Complete, NotXml };

    void Reset() { *this = XmlRootEndScanner(); }
    Status Feed(char c);

private:
    enum class State {
        Text,      // content, or the prolog while depth is 0
        TagOpen,   // after '<'
        StartTag,  // inside <name ...>
        EndTag,    // inside </name ...>
        Pi,        // inside <? ... ?>
        Bang,      // after "<!"
        BangDash,  // after "<!-"
        Comment,   // inside <!-- ... -->
        CDataOpen, // matching "<![CDATA["
        CData,     // inside <![CDATA[ ... ]]>
        Decl,      // inside <!DOCTYPE ...>, internal subset included
    };
    Status Broken() { return m_status = Status::NotXml; }
    // Quotes protect '<' and '>' in attribute values and declarations: true
    // when c opened, closed or is inside a quoted text.
    bool TakeQuote(char c);

    State m_state = State::Text;
    Status m_status = Status::Open;
    int m_depth = 0;        // elements open
    char m_quote = 0;       // the quote of the attribute value being read
    bool m_slash = false;   // the last byte of a start tag was '/'
    int m_run = 0;          // '-', ']' or '?' seen in a row; bytes of "[CDATA[" matched
    int m_brackets = 0;     // '[' open in a declaration
};

class PmsCommandStream {
public:
    // The most a command may hold, as the link's receive buffer always had.
    static constexpr size_t kCapacity = 3000;

    // Where the next read goes, and how much it may take (never 0 once Take
    // has returned Nothing).
    char *Space() { return m_buf + m_held; }
    size_t SpaceSize() const { return kCapacity - m_held; }
    // n bytes of one read were placed at Space().
    void Received(size_t n);

    enum class Next {
        Nothing,  // no complete command (yet)
        Command,  // one command, copied out
        Overlong, // an XML command longer than kCapacity began: it is dropped
    };
    // The next command in stream order, copied to out (kCapacity + 1 bytes)
    // with a NUL after its length bytes. Call until Nothing after each read.
    Next Take(char *out, size_t &length);

private:
    Next Emit(size_t length, char *out, size_t &outLength);
    void Drop(size_t length);

    char m_buf[kCapacity];
    size_t m_held = 0;         // bytes in m_buf
    size_t m_scanned = 0;      // bytes of an XML command at the head already scanned
    bool m_inXml = false;      // the head of m_buf is an XML command
    bool m_discarding = false; // the rest of an over-long command is arriving
    XmlRootEndScanner m_scanner;
};
