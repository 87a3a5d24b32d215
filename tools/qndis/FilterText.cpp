#include "tools/qndis/FilterText.h"

#include "qndislib/qndislib.h"
#include "tools/qndis/ToolError.h"

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
    const std::size_t mark = column > 0 ? static_cast<std::size_t>(column - 1) : text.size();
    // Tabs stay tabs under the text so the mark lines up with them.
    std::string indent;
    for (std::size_t i = 0; i < mark && i < text.size(); ++i) {
        indent += text[i] == '\t' ? '\t' : ' ';
    }
    throw UsageError("the filter cannot be read at column " + std::to_string(column) + ": " +
                     parser.GetError() + ".\n  " + std::string(text) + "\n  " + indent + "^");
}

std::vector<std::unique_ptr<CFilter>> ReadFilterFile(const std::string& path) {
    std::vector<unsigned char> bytes = ReadWholeFile(path);
    if (bytes.empty()) {
        throw ToolError("the filter file '" + path + "' is empty.");
    }
    ktools::CMemoryBuffer buffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    std::vector<std::unique_ptr<CFilter>> filters;
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
