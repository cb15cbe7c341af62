#include "platform/ftdi_bit_bang.h"

#include <algorithm>

namespace ostrel {

std::size_t FtdiBufferStates(FtdiBitBangKind kind) {
    switch (kind) {
        case FtdiBitBangKind::Ft232r:
            return 128;
        case FtdiBitBangKind::FtX:
            return 512;
        case FtdiBitBangKind::None:
            break;
    }
    return 0;
}

FtdiStateRate FtdiRateFor(FtdiBitBangKind kind, uint32_t hz) {
    FtdiStateRate rate;
    if (kind == FtdiBitBangKind::FtX) {
        hz = std::clamp(hz, kFtdiBottomStateRate, kFtdiTopStateRate);
        rate.divisor = (kFtdiTopStateRate + hz - 1) / hz;
    }
    rate.statesPerSecond = (kFtdiTopStateRate + rate.divisor - 1) / rate.divisor;
    return rate;
}

}  // namespace ostrel
