#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class CFilter;

namespace qndis::tool {

// Filters as the user gives them: text in the library's filter language, or
// a file holding stored filter records as `filter save` writes them, or the
// text of a filter.

// A filter may be given as one quoted argument or as several words, as
// other capture tools accept it: the words joined by blanks.
std::string JoinFilterWords(std::span<const std::string> words);

// Raises UsageError that shows the text with a mark under the column where
// reading stopped.
std::unique_ptr<CFilter> ParseFilterText(std::string_view text);

// Every record of the file, in order, or the one filter its text holds
// ('#' starts a comment). Raises ToolError when the file cannot be read,
// is empty, holds anything but complete records, or text that is no
// filter.
std::vector<std::unique_ptr<CFilter>> ReadFilterFile(const std::string& path);

// Stores the filters one record after another. Raises ToolError when the
// file cannot be written completely.
void WriteFilterFile(const std::string& path, const std::vector<const CFilter*>& filters);

// One filter that passes the frames every one of `filters` passes: the
// single filter itself, or an AND compound of them all.
std::unique_ptr<CFilter> JoinFilters(std::vector<std::unique_ptr<CFilter>> filters);

} // namespace qndis::tool
