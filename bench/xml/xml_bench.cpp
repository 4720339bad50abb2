// CXmlDoc on a PMS-sized command and on a 1 MB document, beside Qt's
// QXmlStreamReader reading the same bytes. Run by hand: build/bench/xml/xml_bench
#include "xml/xml_doc.h"

#include <QByteArray>
#include <QXmlStreamReader>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

namespace {

std::string PmsCommand()
{
    return "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n"
           "<foxhis ver=\"1.0\">\r\n<func>GSTIN</func>\r\n<id>20261210093512001</id>\r\n"
           "<pc_id>FRONTDESK-01</pc_id>\r\n<roomno>10203</roomno>\r\n<roomno0>10205</roomno0>\r\n"
           "<roomno1>10203</roomno1>\r\n<roomtotal>120</roomtotal>\r\n<roomseq>15</roomseq>\r\n"
           "<sta>OD</sta>\r\n<guest>Li &amp; Wang</guest>\r\n</foxhis>\r\n";
}

std::string LargeDocument()
{
    std::string text = "<?xml version=\"1.0\"?>\r\n<hotel name=\"demo\">\r\n";
    for (int i = 0; text.size() < 1000000; ++i) {
        char room[400];
        std::snprintf(room, sizeof room,
                      "<room build=\"%d\" floor=\"%d\" no=\"%02d\" state='VR'>\r\n"
                      "<guest>Guest %d &amp; family</guest>\r\n<card>%08d</card>\r\n"
                      "<note><![CDATA[late check-out <ok>]]></note>\r\n<fan speed=\"2\" temp=\"24\"/>\r\n"
                      "</room>\r\n",
                      i / 1000 + 1, i / 100 % 10, i % 100, i, i * 7);
        text += room;
    }
    return text + "</hotel>\r\n";
}

// Every element, every attribute the document uses, every leaf's text.
size_t Navigate(CXmlDoc &doc)
{
    size_t bytes = 0;
    doc.SetPosition(0, 0, 0);
    for (;;) {
        if (doc.FindNext()) {
            const XmlPosition at = doc.GetPosition();
            for (const char *name : {"ver", "name", "build", "floor", "no", "state", "speed", "temp"})
                bytes += doc.GetAttribute(name).size();
            while (doc.FindNextChild())
                bytes += doc.GetChildText().size();
            doc.SetPosition(at.parent, at.main, 0);
            doc.StepIn();
        } else if (!doc.StepOut()) {
            return bytes;
        }
    }
}

// A new document of the same elements, attributes and texts, the way the
// PMS reply is built.
size_t Rebuild(CXmlDoc &source, CXmlDoc &out)
{
    out.LoadText("");
    source.SetPosition(0, 0, 0);
    for (;;) {
        if (source.FindNext()) {
            const XmlPosition at = source.GetPosition();
            source.SetPosition(0, at.parent, at.main);
            const std::string name = source.GetChildName();
            source.SetPosition(at.parent, at.main, 0);
            const XmlElem elem = source.GetElem(at.main);
            if (elem.firstChild == 0) {
                source.SetPosition(0, at.parent, at.main);
                out.AppendElement(name, source.GetChildText());
                source.SetPosition(at.parent, at.main, 0);
            } else {
                out.AppendElement(name);
            }
            for (const char *attribute : {"ver", "name", "build", "floor", "no", "state", "speed", "temp"}) {
                const std::string value = source.GetAttribute(attribute);
                if (!value.empty())
                    out.SetAttribute(attribute, value);
            }
            if (elem.firstChild != 0) {
                source.StepIn();
                out.StepIn();
            }
        } else if (!source.StepOut()) {
            break;
        } else {
            out.StepOut();
        }
    }
    return out.GetText().size();
}

size_t QtRead(const QByteArray &bytes)
{
    QXmlStreamReader reader(bytes);
    size_t total = 0;
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            for (const QXmlStreamAttribute &a : reader.attributes())
                total += static_cast<size_t>(a.value().size());
        } else if (token == QXmlStreamReader::Characters && !reader.isWhitespace()) {
            total += static_cast<size_t>(reader.text().size());
        }
    }
    return reader.hasError() ? 0 : total;
}

// Runs the step for about a second and prints documents and megabytes per second.
void Measure(const char *what, size_t documentSize, const std::function<size_t()> &step)
{
    using Clock = std::chrono::steady_clock;
    size_t sink = 0;
    long runs = 0;
    const auto start = Clock::now();
    double seconds = 0;
    do {
        for (int i = 0; i < 16; ++i)
            sink += step();
        runs += 16;
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
    } while (seconds < 1.0);
    const double perSecond = runs / seconds;
    std::printf("  %-34s %12.0f docs/s %9.1f MB/s   (%zu)\n", what, perSecond, perSecond * documentSize / 1e6,
                sink / static_cast<size_t>(runs));
}

void Run(const char *title, const std::string &text)
{
    std::printf("%s, %zu bytes\n", title, text.size());
    CXmlDoc doc;
    CXmlDoc out;
    if (!doc.LoadText(text.c_str()))
        std::printf("  (not well-formed: %s)\n", doc.GetResult().c_str());
    const QByteArray bytes(text.data(), static_cast<qsizetype>(text.size()));
    Measure("CXmlDoc parse", text.size(), [&] { return doc.LoadText(text.c_str()) ? size_t(1) : size_t(0); });
    Measure("CXmlDoc parse + navigate", text.size(), [&] {
        doc.LoadText(text.c_str());
        return Navigate(doc);
    });
    Measure("CXmlDoc parse + navigate + rebuild", text.size(), [&] {
        doc.LoadText(text.c_str());
        Navigate(doc);
        return Rebuild(doc, out);
    });
    Measure("QXmlStreamReader read", text.size(), [&] { return QtRead(bytes); });
}

} // namespace

int main()
{
    Run("PMS command", PmsCommand());
    Run("Large document", LargeDocument());
    return 0;
}
