#include "model/hotel_conf.h"

#include "platform/gbk.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <cstdint>
#include <map>

namespace {

// Building, floor and room travel as single frame bytes, and 255 there
// means "all": a number outside 0..254 could never be addressed.
constexpr uint32_t kMaxNumber = 254;
constexpr uint32_t kMaxRoomsPerFloor = kMaxNumber + 1;

std::string_view Trim(std::string_view s)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// A decimal number of ASCII digits only, within 32 bits.
bool ParseNumber(std::string_view s, uint32_t &v)
{
    if (s.empty() || s.size() > 10)
        return false;
    uint64_t n = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    if (n > UINT32_MAX)
        return false;
    v = static_cast<uint32_t>(n);
    return true;
}

std::vector<std::string_view> SplitBlanks(std::string_view s)
{
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
            ++i;
        size_t j = i;
        while (j < s.size() && s[j] != ' ' && s[j] != '\t')
            ++j;
        if (j > i)
            out.push_back(s.substr(i, j - i));
        i = j;
    }
    return out;
}

std::string Gbk(std::string_view utf8) { return platform::GbkFromUtf8(utf8); }

std::string LinePrefix(int line) { return "hotel.conf 第" + std::to_string(line) + "行: "; }

// A value written between double quotes is taken without them.
std::string_view Unquote(std::string_view v)
{
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
        return v.substr(1, v.size() - 2);
    return v;
}

// Name and address: UTF-8 in the file, GBK in the program.
std::string HotelText(std::string_view value, std::string_view key, std::vector<std::string> &messages)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(QByteArrayView(value.data(), static_cast<qsizetype>(value.size())));
    if (decoder.hasError())
        messages.push_back("hotel.conf [Hotel] " + Gbk(key) + ": 不是 UTF-8 文本，无法识别的字节已换成 ?");
    const QByteArray gbk = platform::GbkFromQString(text);
    return std::string(gbk.constData(), static_cast<size_t>(gbk.size()));
}

struct LayoutEntry {
    int line;
    std::string key;
    std::string value;
};

// One layout value, "building floor roomCount gap...". False with the reason
// (GBK) when it is not usable.
bool ParseLayoutItem(std::string_view value, stRoomAssignItem &item, std::string &reason)
{
    const std::vector<std::string_view> fields = SplitBlanks(value);
    if (fields.size() < 3) {
        reason = "应为“楼号 楼层 房间数 空房号...”";
        return false;
    }
    std::vector<uint32_t> numbers;
    for (std::string_view f : fields) {
        uint32_t v = 0;
        if (!ParseNumber(f, v)) {
            reason = "“" + Gbk(f) + "”不是非负整数";
            return false;
        }
        numbers.push_back(v);
    }
    if (numbers[0] > kMaxNumber || numbers[1] > kMaxNumber) {
        reason = "楼号和楼层应在 0 到 " + std::to_string(kMaxNumber) + " 之间";
        return false;
    }
    const std::vector<uint32_t> gaps(numbers.begin() + 3, numbers.end());
    const uint64_t total = uint64_t{numbers[2]} + gaps.size();
    if (total > kMaxRoomsPerFloor) {
        reason = "房间数与空房数之和超过 " + std::to_string(kMaxRoomsPerFloor);
        return false;
    }
    for (size_t i = 0; i < gaps.size(); ++i) {
        if (gaps[i] >= total) {
            reason = "空房号 " + std::to_string(gaps[i]) + " 超出本层房号 0 到 " + std::to_string(total - 1);
            return false;
        }
        if (std::find(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(i), gaps[i]) !=
            gaps.begin() + static_cast<std::ptrdiff_t>(i)) {
            reason = "空房号 " + std::to_string(gaps[i]) + " 重复";
            return false;
        }
    }
    item = stRoomAssignItem(numbers[0], numbers[1], numbers[2], gaps);
    return true;
}

} // namespace

HotelConf ParseHotelConf(std::string_view text)
{
    HotelConf conf;
    conf.found = true;
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);

    enum class Section { none, hotel, layout, unknown } section = Section::none;
    bool haveName = false, haveAddress = false;
    std::map<uint64_t, LayoutEntry> items; // by N, so that they come in N order
    int line = 0;
    while (!text.empty()) {
        ++line;
        const size_t end = text.find('\n');
        const std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        const std::string_view s = Trim(raw);
        if (s.empty() || s.front() == ';' || s.front() == '#')
            continue;
        if (s.front() == '[') {
            const std::string_view name = s.back() == ']' ? Trim(s.substr(1, s.size() - 2)) : s;
            if (EqualsNoCase(name, "Hotel")) {
                section = Section::hotel;
            } else if (EqualsNoCase(name, "Layout")) {
                section = Section::layout;
            } else {
                section = Section::unknown;
                conf.messages.push_back(LinePrefix(line) + "未知的节 " + Gbk(s) + "，其中的内容已忽略");
            }
            continue;
        }
        if (section == Section::unknown)
            continue;
        const size_t eq = s.find('=');
        if (eq == std::string_view::npos) {
            conf.messages.push_back(LinePrefix(line) + "“" + Gbk(s) + "”不是“键=值”的形式，已忽略");
            continue;
        }
        const std::string_view key = Trim(s.substr(0, eq));
        const std::string_view value = Trim(s.substr(eq + 1));
        if (section == Section::none) {
            conf.messages.push_back(LinePrefix(line) + Gbk(key) + " 不在 [Hotel] 或 [Layout] 节中，已忽略");
            continue;
        }
        if (section == Section::hotel) {
            bool *seen = EqualsNoCase(key, "Name") ? &haveName : EqualsNoCase(key, "Address") ? &haveAddress : nullptr;
            if (!seen) {
                conf.messages.push_back(LinePrefix(line) + "[Hotel] " + Gbk(key) + ": 未知的键，已忽略");
            } else if (*seen) {
                conf.messages.push_back(LinePrefix(line) + "[Hotel] " + Gbk(key) + ": 重复的键，已忽略");
            } else {
                *seen = true;
                (seen == &haveName ? conf.name : conf.address) = HotelText(Unquote(value), key, conf.messages);
            }
            continue;
        }
        uint32_t n = 0;
        if (key.size() < 5 || !EqualsNoCase(key.substr(0, 4), "item") || !ParseNumber(key.substr(4), n)) {
            conf.messages.push_back(LinePrefix(line) + "[Layout] " + Gbk(key) + ": 未知的键（应为 item1、item2 ...），已忽略");
            continue;
        }
        if (items.count(n)) {
            conf.messages.push_back(LinePrefix(line) + "[Layout] " + Gbk(key) + ": 与第" +
                                    std::to_string(items[n].line) + "行的项重复，已忽略");
            continue;
        }
        items[n] = LayoutEntry{line, std::string(key), std::string(value)};
    }

    // A floor listed twice would be built twice: its rooms counted twice,
    // and every lookup finding only the first of the two.
    std::map<std::pair<uint32_t, uint32_t>, const LayoutEntry *> floors;
    for (const auto &[n, entry] : items) {
        stRoomAssignItem item;
        std::string reason;
        bool usable = ParseLayoutItem(entry.value, item, reason);
        if (usable) {
            const auto [first, added] = floors.emplace(std::make_pair(item.buildNum, item.floorNum), &entry);
            if (!added) {
                usable = false;
                reason = "楼号 " + std::to_string(item.buildNum) + " 楼层 " + std::to_string(item.floorNum) +
                         " 已在第" + std::to_string(first->second->line) + "行的 " + Gbk(first->second->key) + " 中";
            }
        }
        if (usable)
            conf.layout.push_back(std::move(item));
        else
            conf.messages.push_back(LinePrefix(entry.line) + "[Layout] " + Gbk(entry.key) + "=" + Gbk(entry.value) +
                                    ": " + reason + "，此项已跳过");
    }
    return conf;
}

HotelConf LoadHotelConf(const std::string &path)
{
    QFile file(QString::fromStdString(path));
    if (!file.exists()) {
        HotelConf conf;
        const QByteArray where = platform::GbkFromQString(QFileInfo(file).absoluteFilePath());
        conf.messages.push_back("hotel.conf: 找不到 " + where.toStdString() + "，酒店没有房间");
        return conf;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        HotelConf conf;
        conf.found = true;
        conf.messages.push_back("hotel.conf: 无法读取 " + Gbk(path) + " (" +
                                Gbk(file.errorString().toStdString()) + ")，酒店没有房间");
        return conf;
    }
    const QByteArray bytes = file.readAll();
    return ParseHotelConf(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}
