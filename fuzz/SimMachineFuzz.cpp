// Feeds arbitrary host reports to a simulated machine. The input is a sequence of 66-byte
// chunks: one control byte (clock step and whether to read answers) and one 65-byte report.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/Clock.h"
#include "sim/SimMachine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mx40d::FakeClock clock;
    mx40d::sim::SimMachineConfig config;
    config.ports = 6;
    config.prefilledRecords = 8;
    config.driveSectors = 100000;
    config.randomFaultRate = 0.2;
    mx40d::sim::SimMachine machine(clock, config);
    std::uint8_t report[65];
    while (size >= 66) {
        const std::uint8_t control = data[0];
        std::memcpy(report, data + 1, 65);
        machine.hostWrite(report);
        clock.advance((control & 0x3F) * 50);
        if (control & 0x40)
            while (machine.hostRead(report)) {
            }
        if (control & 0x80) machine.startJob(static_cast<std::uint8_t>(report[10] % 40));
        data += 66;
        size -= 66;
    }
    return 0;
}
