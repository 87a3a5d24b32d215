#include "qndislib/filter/FilterParser.h"

#include "qndislib/filter/FilterGrammar.h"

std::unique_ptr<CFilter> CFilterParser::Parse(std::string_view text) {
    m_error.clear();
    m_errorColumn = 0;
    try {
        return qndis::detail::FilterGrammar(text).Run();
    } catch (const qndis::detail::ParseError& error) {
        m_error = error.message;
        m_errorColumn = error.column;
    }
    return nullptr;
}
