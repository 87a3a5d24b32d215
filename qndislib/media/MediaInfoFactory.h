#pragma once

#include "qndislib/Export.h"

#include <string>

class CMediaInfo;

// Owner of the registered medium prototypes. There is exactly one, made on
// first use (and forced at library load, with the built-in prototypes in
// it); when it goes at unload it deletes every prototype.
class QNDIS_API CMediaInfoFactory {
public:
    static CMediaInfoFactory& Instance();

    CMediaInfoFactory(const CMediaInfoFactory&) = delete;
    CMediaInfoFactory& operator=(const CMediaInfoFactory&) = delete;
    virtual ~CMediaInfoFactory();

    bool Register(const CMediaInfo& medium);
    CMediaInfo* Create(const std::string& shorthand) const;

private:
    CMediaInfoFactory();
};
