#include "qndislib/frame/Frame.h"

const unsigned char* CFrame::GetData() const {
    return GetDataSpan().data();
}

unsigned short CFrame::GetDataLength() const {
    return static_cast<unsigned short>(GetDataSpan().size());
}
