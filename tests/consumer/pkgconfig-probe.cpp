#include "qndislib/qndislib.h"
int main() {
    return CMACAddr::MACBroadcast.IsBroadcast() && QWORD(5).AsNumber(false) == "5" ? 0 : 1;
}
