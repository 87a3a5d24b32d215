#include "tools/qndis/FilterText.h"

#include "qndislib/qndislib.h"
#include "tools/qndis/ToolError.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace qndis::tool {

namespace {

// Filter sets that people store are a few hundred bytes; anything this
// large is not a filter file, and is refused before it is read into memory.
constexpr long MaxFilterFileSize = 16L * 1024 * 1024;

struct FileClose {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileClose>;

std::string SystemError() {
    return std::strerror(errno);
}

std::vector<unsigned char> ReadWholeFile(const std::string& path) {
    const File file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        throw ToolError("cannot open the filter file '" + path + "': " + SystemError() + ".");
    }
    if (std::fseek(file.get(), 0, SEEK_END) != 0) {
        throw ToolError("cannot read the filter file '" + path + "': " + SystemError() + ".");
    }
    const long size = std::ftell(file.get());
    if (size < 0 || size > MaxFilterFileSize) {
        throw ToolError("'" + path + "' is too large to be a filter file.");
    }
    std::rewind(file.get());
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
    if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
        throw ToolError("cannot read the filter file '" + path + "' completely.");
    }
    return bytes;
}

// `line` with a mark under its 1-based `column` (the end for 0); tabs stay
// tabs under the text so the mark lines up with them. Of a long line only
// the part around the mark is shown.
std::string MarkColumn(std::string_view line, int column) {
    constexpr std::size_t Shown = 72;
    const std::size_t mark = column > 0 ? static_cast<std::size_t>(column - 1) : line.size();
    const std::size_t start = mark > Shown / 2 && line.size() > Shown ? mark - Shown / 2 : 0;
    const std::string_view part = line.substr(start, Shown);
    std::string indent = start > 0 ? "   " : "";
    for (std::size_t i = start; i < mark && i < line.size(); ++i) {
        indent += line[i] == '\t' ? '\t' : ' ';
    }
    return "\n  " + std::string(start > 0 ? "..." : "") + std::string(part) +
           (start + part.size() < line.size() ? "..." : "") + "\n  " + indent + "^";
}

// Stored records always hold control bytes (the enabled byte, the zeros
// of the name length); a filter written as text holds none but blanks.
bool IsText(const std::vector<unsigned char>& bytes) {
    return std::none_of(bytes.begin(), bytes.end(), [](unsigned char c) {
        return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F;
    });
}

// The text with every comment ('#' to the end of its line, outside a
// quoted string) blanked out, so that an offset in it is one in the file.
std::string WithoutComments(std::string text) {
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (quoted) {
            if (text[i] == '\\' && i + 1 < text.size()) {
                ++i;
            } else if (text[i] == '"' || text[i] == '\n') {
                quoted = false;
            }
        } else if (text[i] == '"') {
            quoted = true;
        } else if (text[i] == '#') {
            for (; i < text.size() && text[i] != '\n'; ++i) {
                text[i] = ' ';
            }
        }
    }
    return text;
}

std::unique_ptr<CFilter> ParseFilterFileText(const std::string& path, const std::string& text) {
    const std::string filter = WithoutComments(text);
    if (filter.find_first_not_of(" \t\r\n") == std::string::npos) {
        throw ToolError("the filter file '" + path + "' holds no filter, only comments.");
    }
    CFilterParser parser;
    std::unique_ptr<CFilter> parsed = parser.Parse(filter);
    if (parsed) {
        return parsed;
    }
    // An error at the end of the filter is shown behind its last word, not
    // on the blank lines or comments after it.
    const std::size_t at =
        std::min(static_cast<std::size_t>(std::max(parser.GetErrorColumn(), 1) - 1),
                 filter.find_last_not_of(" \t\r\n") + 1);
    const std::size_t newline = at == 0 ? std::string::npos : text.rfind('\n', at - 1);
    const std::size_t lineStart = newline == std::string::npos ? 0 : newline + 1;
    const std::size_t lineEnd = std::min(text.find('\n', lineStart), text.size());
    const auto line = static_cast<std::size_t>(
        std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(lineStart), '\n') + 1);
    const int column = static_cast<int>(at - lineStart) + 1;
    std::string_view shown(text.data() + lineStart, lineEnd - lineStart);
    if (shown.ends_with('\r')) {
        shown.remove_suffix(1);
    }
    throw ToolError("the filter in '" + path + "' cannot be read at line " + std::to_string(line) +
                    ", column " + std::to_string(column) + ": " + parser.GetError() + "." +
                    MarkColumn(shown, column));
}

} // namespace

std::string JoinFilterWords(std::span<const std::string> words) {
    std::string text;
    for (const std::string& word : words) {
        if (!text.empty()) {
            text += ' ';
        }
        text += word;
    }
    return text;
}

std::unique_ptr<CFilter> ParseFilterText(std::string_view text) {
    CFilterParser parser;
    std::unique_ptr<CFilter> filter = parser.Parse(text);
    if (filter) {
        return filter;
    }
    const int column = parser.GetErrorColumn();
    throw UsageError("the filter cannot be read at column " + std::to_string(column) + ": " +
                     parser.GetError() + "." + MarkColumn(text, column));
}

std::vector<std::unique_ptr<CFilter>> ReadFilterFile(const std::string& path) {
    std::vector<unsigned char> bytes = ReadWholeFile(path);
    if (bytes.empty()) {
        throw ToolError("the filter file '" + path + "' is empty.");
    }
    std::vector<std::unique_ptr<CFilter>> filters;
    if (IsText(bytes)) {
        filters.push_back(ParseFilterFileText(path, std::string(bytes.begin(), bytes.end())));
        return filters;
    }
    ktools::CMemoryBuffer buffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    while (buffer.GetRemaining() > 0) {
        const std::int32_t start = buffer.GetReadPosition();
        std::unique_ptr<CFilter> filter(UnpackFilter(buffer));
        if (!filter) {
            throw ToolError("'" + path + "' is not a filter file: the record at byte " +
                            std::to_string(start) + " is damaged or of an unknown kind.");
        }
        filters.push_back(std::move(filter));
    }
    return filters;
}

void WriteFilterFile(const std::string& path, const std::vector<const CFilter*>& filters) {
    ktools::CMemoryBuffer buffer;
    for (const CFilter* filter : filters) {
        filter->Pack(buffer);
    }
    File file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        throw ToolError("cannot create the filter file '" + path + "': " + SystemError() + ".");
    }
    const auto size = static_cast<std::size_t>(buffer.GetSize());
    const bool written = std::fwrite(buffer.GetData(), 1, size, file.get()) == size;
    if (!written || std::fclose(file.release()) != 0) {
        throw ToolError("cannot write the filter file '" + path + "' completely.");
    }
}

std::unique_ptr<CFilter> JoinFilters(std::vector<std::unique_ptr<CFilter>> filters) {
    if (filters.size() == 1) {
        return std::move(filters.front());
    }
    auto all = std::make_unique<CCompoundFilter>(CCompoundFilter::OperatorAnd);
    for (std::unique_ptr<CFilter>& filter : filters) {
        all->Add(filter.release());
    }
    return all;
}

} // namespace qndis::tool
