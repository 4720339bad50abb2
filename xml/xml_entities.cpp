// The two text codecs: escaping on the way in, entity and character
// references decoded on the way out.
#include "xml/xml_doc.h"

#include "platform/gbk.h"

#include <array>
#include <cstdio>

namespace {

struct EntityRow {
    const char *name;
    int code;
};

// The character entity references of HTML 4 (Latin-1, symbols, special) and
// XML's "apos".
constexpr EntityRow kEntities[] = {
    // Latin-1
    {"nbsp", 160}, {"iexcl", 161}, {"cent", 162}, {"pound", 163}, {"curren", 164}, {"yen", 165},
    {"brvbar", 166}, {"sect", 167}, {"uml", 168}, {"copy", 169}, {"ordf", 170}, {"laquo", 171},
    {"not", 172}, {"shy", 173}, {"reg", 174}, {"macr", 175}, {"deg", 176}, {"plusmn", 177},
    {"sup2", 178}, {"sup3", 179}, {"acute", 180}, {"micro", 181}, {"para", 182}, {"middot", 183},
    {"cedil", 184}, {"sup1", 185}, {"ordm", 186}, {"raquo", 187}, {"frac14", 188}, {"frac12", 189},
    {"frac34", 190}, {"iquest", 191}, {"Agrave", 192}, {"Aacute", 193}, {"Acirc", 194}, {"Atilde", 195},
    {"Auml", 196}, {"Aring", 197}, {"AElig", 198}, {"Ccedil", 199}, {"Egrave", 200}, {"Eacute", 201},
    {"Ecirc", 202}, {"Euml", 203}, {"Igrave", 204}, {"Iacute", 205}, {"Icirc", 206}, {"Iuml", 207},
    {"ETH", 208}, {"Ntilde", 209}, {"Ograve", 210}, {"Oacute", 211}, {"Ocirc", 212}, {"Otilde", 213},
    {"Ouml", 214}, {"times", 215}, {"Oslash", 216}, {"Ugrave", 217}, {"Uacute", 218}, {"Ucirc", 219},
    {"Uuml", 220}, {"Yacute", 221}, {"THORN", 222}, {"szlig", 223}, {"agrave", 224}, {"aacute", 225},
    {"acirc", 226}, {"atilde", 227}, {"auml", 228}, {"aring", 229}, {"aelig", 230}, {"ccedil", 231},
    {"egrave", 232}, {"eacute", 233}, {"ecirc", 234}, {"euml", 235}, {"igrave", 236}, {"iacute", 237},
    {"icirc", 238}, {"iuml", 239}, {"eth", 240}, {"ntilde", 241}, {"ograve", 242}, {"oacute", 243},
    {"ocirc", 244}, {"otilde", 245}, {"ouml", 246}, {"divide", 247}, {"oslash", 248}, {"ugrave", 249},
    {"uacute", 250}, {"ucirc", 251}, {"uuml", 252}, {"yacute", 253}, {"thorn", 254}, {"yuml", 255},
    // Symbols: Latin, Greek
    {"fnof", 402}, {"Alpha", 913}, {"Beta", 914}, {"Gamma", 915}, {"Delta", 916}, {"Epsilon", 917},
    {"Zeta", 918}, {"Eta", 919}, {"Theta", 920}, {"Iota", 921}, {"Kappa", 922}, {"Lambda", 923},
    {"Mu", 924}, {"Nu", 925}, {"Xi", 926}, {"Omicron", 927}, {"Pi", 928}, {"Rho", 929},
    {"Sigma", 931}, {"Tau", 932}, {"Upsilon", 933}, {"Phi", 934}, {"Chi", 935}, {"Psi", 936},
    {"Omega", 937}, {"alpha", 945}, {"beta", 946}, {"gamma", 947}, {"delta", 948}, {"epsilon", 949},
    {"zeta", 950}, {"eta", 951}, {"theta", 952}, {"iota", 953}, {"kappa", 954}, {"lambda", 955},
    {"mu", 956}, {"nu", 957}, {"xi", 958}, {"omicron", 959}, {"pi", 960}, {"rho", 961},
    {"sigmaf", 962}, {"sigma", 963}, {"tau", 964}, {"upsilon", 965}, {"phi", 966}, {"chi", 967},
    {"psi", 968}, {"omega", 969}, {"thetasym", 977}, {"upsih", 978}, {"piv", 982},
    // Symbols: punctuation, letterlike, arrows
    {"bull", 8226}, {"hellip", 8230}, {"prime", 8242}, {"Prime", 8243}, {"oline", 8254}, {"frasl", 8260},
    {"weierp", 8472}, {"image", 8465}, {"real", 8476}, {"trade", 8482}, {"alefsym", 8501},
    {"larr", 8592}, {"uarr", 8593}, {"rarr", 8594}, {"darr", 8595}, {"harr", 8596}, {"crarr", 8629},
    {"lArr", 8656}, {"uArr", 8657}, {"rArr", 8658}, {"dArr", 8659}, {"hArr", 8660},
    // Symbols: mathematical, technical, shapes
    {"forall", 8704}, {"part", 8706}, {"exist", 8707}, {"empty", 8709}, {"nabla", 8711}, {"isin", 8712},
    {"notin", 8713}, {"ni", 8715}, {"prod", 8719}, {"sum", 8721}, {"minus", 8722}, {"lowast", 8727},
    {"radic", 8730}, {"prop", 8733}, {"infin", 8734}, {"ang", 8736}, {"and", 8743}, {"or", 8744},
    {"cap", 8745}, {"cup", 8746}, {"int", 8747}, {"there4", 8756}, {"sim", 8764}, {"cong", 8773},
    {"asymp", 8776}, {"ne", 8800}, {"equiv", 8801}, {"le", 8804}, {"ge", 8805}, {"sub", 8834},
    {"sup", 8835}, {"nsub", 8836}, {"sube", 8838}, {"supe", 8839}, {"oplus", 8853}, {"otimes", 8855},
    {"perp", 8869}, {"sdot", 8901}, {"lceil", 8968}, {"rceil", 8969}, {"lfloor", 8970}, {"rfloor", 8971},
    {"lang", 9001}, {"rang", 9002}, {"loz", 9674}, {"spades", 9824}, {"clubs", 9827}, {"hearts", 9829},
    {"diams", 9830},
    // Special
    {"quot", 34}, {"amp", 38}, {"lt", 60}, {"gt", 62}, {"OElig", 338}, {"oelig", 339},
    {"Scaron", 352}, {"scaron", 353}, {"Yuml", 376}, {"circ", 710}, {"tilde", 732}, {"ensp", 8194},
    {"emsp", 8195}, {"thinsp", 8201}, {"zwnj", 8204}, {"zwj", 8205}, {"lrm", 8206}, {"rlm", 8207},
    {"ndash", 8211}, {"mdash", 8212}, {"lsquo", 8216}, {"rsquo", 8217}, {"sbquo", 8218}, {"ldquo", 8220},
    {"rdquo", 8221}, {"bdquo", 8222}, {"dagger", 8224}, {"Dagger", 8225}, {"permil", 8240},
    {"lsaquo", 8249}, {"rsaquo", 8250}, {"euro", 8364},
    // XML
    {"apos", 39},
};
static_assert(std::size(kEntities) == 253);

constexpr int kBuckets = 130;

char FoldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The sum of the name's bytes as signed 8-bit values, modulo the bucket count.
int XmlHash(std::string_view name, int buckets)
{
    int sum = 0;
    for (char c : name)
        sum += static_cast<signed char>(c);
    const int rest = sum % buckets;
    return rest < 0 ? rest + buckets : rest;
}

// Each bucket is one string of entries: the name's length (one digit), the
// code point (four digits) and the name. Entries are keyed by the name in
// lower case; of two names that differ only in case (Agrave, agrave) the one
// with a capital letter stands first.
const std::array<std::string, kBuckets> &EntityBuckets()
{
    static const std::array<std::string, kBuckets> buckets = [] {
        std::array<std::string, kBuckets> made;
        for (const bool capitals : {true, false}) {
            for (const EntityRow &row : kEntities) {
                const std::string_view name = row.name;
                std::string folded;
                for (char c : name)
                    folded += FoldCase(c);
                if ((folded != name) != capitals)
                    continue;
                char head[16];
                std::snprintf(head, sizeof head, "%d%04d", static_cast<int>(name.size()), row.code);
                made[XmlHash(folded, kBuckets)].append(head).append(name);
            }
        }
        return made;
    }();
    return buckets;
}

// The code point of a named reference, 0 when unknown. `folded` is the
// reference in lower case. HTML 4 tells apart names that differ only in case
// (agrave is à, Agrave is À): the spelling as written wins, and any other
// spelling (AGRAVE, AMP) takes the first entry of that name.
int LookUpEntity(std::string_view written, std::string_view folded)
{
    const std::string &bucket = EntityBuckets()[XmlHash(folded, kBuckets)];
    int anyCase = 0;
    for (size_t at = 0; at + 5 <= bucket.size();) {
        const size_t length = static_cast<size_t>(bucket[at] - '0');
        const std::string_view name(bucket.data() + at + 5, length);
        if (length == folded.size()) {
            bool same = true;
            for (size_t i = 0; i < length && same; ++i)
                same = FoldCase(name[i]) == folded[i];
            if (same) {
                const int code = std::stoi(bucket.substr(at + 1, 4));
                if (name == written)
                    return code;
                if (anyCase == 0)
                    anyCase = code;
            }
        }
        at += 5 + length;
    }
    return anyCase;
}

// The code point in the system's code page; empty when it has none.
std::string ToCodePage(uint32_t code)
{
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return {};
    char utf8[4];
    size_t n;
    if (code < 0x80) {
        utf8[0] = static_cast<char>(code);
        n = 1;
    } else if (code < 0x800) {
        utf8[0] = static_cast<char>(0xC0 | (code >> 6));
        utf8[1] = static_cast<char>(0x80 | (code & 0x3F));
        n = 2;
    } else if (code < 0x10000) {
        utf8[0] = static_cast<char>(0xE0 | (code >> 12));
        utf8[1] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        utf8[2] = static_cast<char>(0x80 | (code & 0x3F));
        n = 3;
    } else {
        utf8[0] = static_cast<char>(0xF0 | (code >> 18));
        utf8[1] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        utf8[2] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        utf8[3] = static_cast<char>(0x80 | (code & 0x3F));
        n = 4;
    }
    std::string converted = platform::GbkFromUtf8(std::string_view(utf8, n));
    // The converter writes '?' for what the code page lacks.
    if (converted.empty() || converted.size() > 5 || (code != '?' && converted.find('?') != std::string::npos))
        return {};
    return converted;
}

// The reference at bytes[0] == '&': the replacement, or empty to keep the '&'.
std::string DecodeReference(const char *bytes, size_t length)
{
    char written[9];
    char folded[9];
    size_t n = 0;
    bool ended = false;
    for (size_t i = 1; i < length && i <= 9; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == ';') {
            ended = true;
            break;
        }
        if (c >= 0x80 || n == 8)
            return {};
        written[n] = static_cast<char>(c);
        folded[n++] = FoldCase(static_cast<char>(c));
    }
    if (!ended)
        return {};
    uint32_t code = 0;
    if (n > 0 && folded[0] == '#') {
        const bool hex = n > 1 && folded[1] == 'x';
        for (size_t i = hex ? 2 : 1; i < n; ++i) {
            const char c = folded[i];
            uint32_t digit;
            if (c >= '0' && c <= '9')
                digit = static_cast<uint32_t>(c - '0');
            else if (hex && c >= 'a' && c <= 'f')
                digit = static_cast<uint32_t>(c - 'a' + 10);
            else
                break;
            code = code * (hex ? 16 : 10) + digit; // at most 8 digits: no overflow
        }
    } else {
        code = static_cast<uint32_t>(LookUpEntity(std::string_view(written, n), std::string_view(folded, n)));
    }
    return ToCodePage(code);
}

} // namespace

std::string CXmlDoc::EncodeEntities(std::string_view text, bool attribute)
{
    std::string out;
    out.reserve(text.size() + text.size() / 10 + 7);
    XmlToken scan(text.data(), text.size(), 0);
    for (size_t i = 0; i < text.size();) {
        const size_t next = scan.NextChar(i);
        switch (text[i]) {
        case '<': out += "&lt;"; break;
        case '&': out += "&amp;"; break;
        case '>': out += "&gt;"; break;
        case '\'':
            out += attribute ? "&apos;" : "'";
            break;
        case '"':
            out += attribute ? "&quot;" : "\"";
            break;
        default:
            // A lead byte cut off from its trail byte would take the '<' or
            // quote that follows it in the document as its trail byte and so
            // break the markup; the incomplete character is left out.
            if (next - i == 1 && xml_chars::IsLeadByte(static_cast<unsigned char>(text[i])) && next == text.size())
                break;
            out.append(text.data() + i, next - i);
        }
        i = next;
    }
    return out;
}

std::string CXmlDoc::DecodeEntities(const char *bytes, size_t length)
{
    std::string out;
    out.reserve(length);
    XmlToken scan(bytes, length, 0);
    for (size_t i = 0; i < length;) {
        if (bytes[i] == '&') {
            const std::string replacement = DecodeReference(bytes + i, length - i);
            if (!replacement.empty()) {
                out += replacement;
                i += std::string_view(bytes + i, length - i).find(';') + 1;
                continue;
            }
        }
        const size_t next = scan.NextChar(i);
        out.append(bytes + i, next - i);
        i = next;
    }
    return out;
}
