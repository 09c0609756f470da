#include "settings/ini_file_store.h"

#include <optional>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace ruvello {
namespace {

constexpr std::string_view kNewLine = "\r\n";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

struct Line {
    std::size_t begin;  // offset of the line's text in the content
    std::size_t end;    // offset just past the text, before its line break
    std::size_t next;   // offset of the following line
};

enum class Kind { Header, Entry, Other };

struct Parsed {
    Kind kind = Kind::Other;
    std::string_view name;   // section name or key
    std::string_view value;  // entries only
};

std::vector<Line> SplitLines(std::string_view content) {
    std::vector<Line> lines;
    std::size_t pos = content.substr(0, kUtf8Bom.size()) == kUtf8Bom ? kUtf8Bom.size() : 0;
    while (pos < content.size()) {
        const std::size_t lf = content.find('\n', pos);
        const std::size_t next = lf == std::string_view::npos ? content.size() : lf + 1;
        std::size_t end = lf == std::string_view::npos ? content.size() : lf;
        if (end > pos && content[end - 1] == '\r') {
            --end;
        }
        lines.push_back({pos, end, next});
        pos = next;
    }
    return lines;
}

// Blanks around names and values are not part of them; nor is a stray carriage return.
std::string_view TrimLine(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

Parsed ParseLine(std::string_view text) {
    const std::string_view trimmed = TrimLine(text);
    if (trimmed.empty() || trimmed.front() == ';') {
        return {};
    }
    if (trimmed.front() == '[') {
        const std::string_view inner = trimmed.substr(1);
        return {Kind::Header, TrimLine(inner.substr(0, inner.find(']'))), {}};
    }
    const std::size_t eq = trimmed.find('=');
    if (eq == std::string_view::npos) {
        return {};
    }
    return {Kind::Entry, TrimLine(trimmed.substr(0, eq)), TrimLine(trimmed.substr(eq + 1))};
}

// Where a section and a key lie in the content: the first matching section and, inside it, the
// first matching key.
struct Location {
    std::optional<std::size_t> header;  // index of the section's header line
    std::optional<std::size_t> entry;   // index of the key's line
    std::size_t lastEntryOrHeader = 0;  // index of the line after which a new key goes
};

Location Locate(std::string_view content, const std::vector<Line>& lines, std::string_view section,
                std::string_view key) {
    Location at;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Parsed line =
            ParseLine(content.substr(lines[i].begin, lines[i].end - lines[i].begin));
        if (line.kind == Kind::Header) {
            if (at.header) {
                break;  // the section ended
            }
            if (EqualsIgnoringAsciiCase(line.name, section)) {
                at.header = i;
                at.lastEntryOrHeader = i;
            }
        } else if (at.header && line.kind == Kind::Entry) {
            at.lastEntryOrHeader = i;
            if (!at.entry && EqualsIgnoringAsciiCase(line.name, key)) {
                at.entry = i;
            }
        }
    }
    return at;
}

}  // namespace

std::string IniLookup(const std::string& content, const std::string& section,
                      const std::string& key, const std::string& defaultText) {
    const std::vector<Line> lines = SplitLines(content);
    const Location at = Locate(content, lines, section, key);
    if (!at.entry) {
        return defaultText;
    }
    const Line& line = lines[*at.entry];
    const Parsed entry =
        ParseLine(std::string_view(content).substr(line.begin, line.end - line.begin));
    return std::string(FirstBytesWhole(entry.value, IniFileStore::kMaxValueBytes));
}

std::string IniUpdate(const std::string& content, const std::string& section,
                      const std::string& key, const std::string& value) {
    const std::vector<Line> lines = SplitLines(content);
    const Location at = Locate(content, lines, section, key);
    std::string updated;
    if (!at.header) {
        updated = content;
        if (!updated.empty() && updated.back() != '\n') {
            updated += kNewLine;
        }
        return updated.append("[")
            .append(section)
            .append("]")
            .append(kNewLine)
            .append(key)
            .append("=")
            .append(value)
            .append(kNewLine);
    }
    if (at.entry) {
        const Line& line = lines[*at.entry];
        const Parsed entry =
            ParseLine(std::string_view(content).substr(line.begin, line.end - line.begin));
        return updated.append(content, 0, line.begin)
            .append(entry.name)
            .append("=")
            .append(value)
            .append(content, line.end, std::string::npos);
    }
    const Line& after = lines[at.lastEntryOrHeader];
    updated.append(content, 0, after.next);
    if (after.next == content.size() && content.back() != '\n') {
        updated += kNewLine;  // the last line of the file had no line break yet
    }
    return updated.append(key).append("=").append(value).append(kNewLine).append(
        content, after.next, std::string::npos);
}

std::string IniFileStore::ReadString(const std::string& path, const std::string& section,
                                     const std::string& key, const std::string& defaultText) {
    const std::optional<std::string> content = fs_.ReadWholeFile(path);
    return content ? IniLookup(*content, section, key, defaultText) : defaultText;
}

void IniFileStore::WriteString(const std::string& path, const std::string& section,
                               const std::string& key, const std::string& value) {
    // A line break would end the value early and could smuggle other keys into the file.
    if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
        return;
    }
    const std::optional<std::string> content = fs_.ReadWholeFile(path);
    if (!content && fs_.Exists(path, SearchFilter::AnyFile)) {
        return;  // present but unreadable: never overwrite what we could not read
    }
    fs_.ReplaceWholeFile(path, IniUpdate(content.value_or(std::string()), section, key, value));
}

}  // namespace ruvello
