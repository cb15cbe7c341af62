// The serial programming link made of line changes: SCK idles low, MOSI
// changes only while SCK is low, MISO is sampled while SCK is high, at least
// one delay unit after the rising edge (the target shifts its answer out on
// the falling edge, so it is stable then), and SCK falls after the sample.
// ClockBit is the bit of the immediate ports, one call per line change; a
// streaming port sends the same bit as states of pins (stream.cpp, which also
// holds TransferWord).
#include "adapter/adapter.h"

namespace ostrel::adapter {

void ClockBit(Programmer& p, int bit) {
    ProgrammerState& s = p.state;
    const CableProfile& cable = ActiveCable(s);
    SetMosi(p, bit ? 1 : 0);
    Delay(p, 1);
    SetSck(p, 1);
    Delay(p, 1);
    if (cable.mosiHighWhileSckHigh) {
        SetMosi(p, 1);
        Delay(p, 1);
    }
    s.rxShift = (s.rxShift << 1) | static_cast<uint32_t>(ReadMiso(p));
    if (cable.delayAfterSample)
        Delay(p, 1);
    SetSck(p, 0);
    Delay(p, 1);
}

}  // namespace ostrel::adapter
