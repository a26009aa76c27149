#include "machine_ui/Names.h"

#include "base/Text.h"
#include "protocol/WireLayout.h"

namespace mx40d {

namespace {

const char* const kEraseNames[5] = {"QUICK ERASE", "FULL ERASE", "DoD ERASE", "DoD ERASE+VERIFY",
                                    "FULL ERASE 7-PASS"};
const char* const kOverwriteNames[5] = {"QUICK OVERWRITE", "FULL OVERWRITE", "3-PASS OVERWRITE",
                                        "3-PASS OVERWRITE+VERIFY", "7-PASS OVERWRITE"};

bool gOverwriteNaming = false;

}  // namespace

void setOemCode(const std::string& oemCode) {
    gOverwriteNaming = oemCode == "00700";
}
bool overwriteNaming() {
    return gOverwriteNaming;
}
const char* const* eraseJobNames() {
    return gOverwriteNaming ? kOverwriteNames : kEraseNames;
}

std::string jobName(std::int32_t jobCode) {
    switch (jobCode) {
        case 0:
            return "STANDBY";
        case 1:
            return "COPY";
        case 2:
            return "COMPARE";
        case 3:
            return "COPY+COMPARE";
        case 4:
            return "SCAN";
        case 5:
        case 6:
        case 7:
        case 8:
        case 9:
            return eraseJobNames()[jobCode - kJobQuickErase];
        case 10:
            return "SECURITY ERASE";
        case 11:
            return "VERIFY QUICK ERASE";
        case 12:
            return "VERIFY FULL ERASE";
        case 13:
            return "VERIFY DoD ERASE";
        case 14:
            return "VERIFY DoD ERASE+VERIFY";
        case 15:
            return "VERIFY ERASE 7-PASS";
        case 16:
            return "SECURITY ERASE";
        case 20:
            return "COPY";
        case 26:
            return "GET ID";
        case 30:
            return "BMB21-2007 ERASE(7-PASS)";
        case 31:
            return "HMG ERASE(3-PASS)";
        case 32:
            return "HMG ERASE(3-PASS)";
        case 33:
            return "VSITR ERASE(7-PASS)";
        case 34:
            return "CUSTOM ERASE";
        case 35:
            return "ENHANCED SECURITY ERASE";
        default:
            return cformat("%d", jobCode);
    }
}

std::string portStateName(std::uint8_t state) {
    static const char* const kNames[10] = {
        " ",     " ",       "TURNING ON", "READY",          "READ",
        "WRITE", "COMPARE", "ERASE",      "SECURITY ERASE", "STOP MOTOR"};
    if (state < 10) return kNames[state];
    return cformat("%d", state);
}

std::string sizeText(std::uint64_t sectorCount, std::uint16_t sectorSize) {
    if (sectorSize == 0) return {};
    const double bytes = static_cast<double>(sectorCount * sectorSize);
    constexpr double kGiB = 1073741824.0;
    constexpr double kMiB = 1048576.0;
    if (bytes >= 107374182400.0) return cformat("%.0fGB", bytes / kGiB);
    if (bytes >= 10485760000.0) return cformat("%.1fGB", bytes / kGiB);
    return cformat("%.0fMB", bytes / kMiB);
}

std::string speedText(std::uint32_t measuringTime, std::uint32_t sectorCount,
                      std::uint16_t sectorSize) {
    if (measuringTime == 0 || sectorSize == 0) return {};
    const float speed =
        static_cast<float>((1000000.0 / measuringTime) * sectorCount / (1048576.0 / sectorSize));
    const double v = speed;
    if (v < 1) return cformat("    %.2f", v);
    if (v < 10) return cformat("   %.2f", v);
    if (v < 100) return cformat("  %.2f", v);
    return cformat(" %.2f", v);
}

}  // namespace mx40d
