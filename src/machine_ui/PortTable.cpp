#include "machine_ui/PortTable.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "base/Text.h"
#include "base/WholeFile.h"
#include "machine_ui/Names.h"
#include "protocol/WireLayout.h"

namespace mx40d {

namespace {
const std::string kEmpty;
constexpr std::uint8_t kStateDone = 1;
constexpr std::uint8_t kStateTurningOn = 2;
constexpr std::uint8_t kStateRead = 4, kStateWrite = 5, kStateCompare = 6, kStateErase = 7,
                       kStateSecurityErase = 8;
bool isMultiPassErase(int job) {
    return job == kJobDodErase || job == kJobDodEraseVerify || job == kJobErase7Pass;
}
std::string percent(std::uint64_t done, std::uint64_t total, std::uint16_t sectorSize) {
    const double p = static_cast<double>(done) * 100.0 / static_cast<double>(total);
    return cformat("%.2f%%(%s)", p, sizeText(done, sectorSize).c_str());
}
}  // namespace

const char* PortTable::heading(int column) {
    static const char* const kHeadings[kColumns] = {"Port",     "Status", "Progress", "Speed(MB/S)",
                                                    "Capacity", "Model",  "Version",  "Serial No."};
    return column >= 0 && column < kColumns ? kHeadings[column] : "";
}

void PortTable::setup(int ports) {
    ports_ = std::clamp(ports, 0, kMaxPorts);
    cells_.assign(static_cast<std::size_t>(ports_) + 1, {});
    changed_.assign(static_cast<std::size_t>(ports_) + 1, true);
    for (int c = 0; c < kColumns; ++c)
        cells_[0][static_cast<std::size_t>(c)] = heading(c);
    for (int p = 0; p < ports_; ++p)
        cells_[static_cast<std::size_t>(p) + 1][kPort] = cformat(" %02d", p + 1);
    clearPortTable();
}

const std::string& PortTable::cell(int column, int row) const {
    if (column < 0 || column >= kColumns || row < 0 || row > ports_) return kEmpty;
    return cells_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

PortTable::Colour PortTable::colour(int column, int row) const {
    if (column != kProgress || row < 1) return Colour::Normal;
    const std::string& t = cell(column, row);
    return t == "PASS" ? Colour::Pass : t == "FAIL" ? Colour::Fail : Colour::Normal;
}

void PortTable::set(int column, int port, std::string text) {
    std::string& c = cells_[static_cast<std::size_t>(port) + 1][static_cast<std::size_t>(column)];
    if (c == text) return;
    c = std::move(text);
    changed_[static_cast<std::size_t>(port) + 1] = true;
}

std::vector<int> PortTable::takeChangedRows() {
    std::vector<int> rows;
    for (std::size_t r = 0; r < changed_.size(); ++r)
        if (changed_[r]) {
            rows.push_back(static_cast<int>(r));
            changed_[r] = false;
        }
    return rows;
}

void PortTable::applyDeviceBlock(int currentJob, const DeviceBlockEvent& e) {
    if (currentJob == kJobIdle || e.records == nullptr || e.firstIndex < 0 || e.count < 0 ||
        static_cast<std::int64_t>(e.firstIndex) + e.count > ports_)
        return;
    const std::size_t entry = e.kind == 0 ? kDeviceEntrySize : DeviceStatus::kSize;
    for (int i = 0; i < e.count; ++i) {
        const int p = e.firstIndex + i;
        const std::uint8_t* at = e.records + entry * static_cast<std::size_t>(i);
        status_[static_cast<std::size_t>(p)] = DeviceStatus(at, DeviceStatus::kSize);
        if (e.kind == 0) {
            info_[static_cast<std::size_t>(p)] =
                DeviceInfo(at + DeviceStatus::kSize, DeviceInfo::kSize);
            refreshPortRow(p);
        } else {
            refreshPortStatus(p);
        }
    }
}

void PortTable::refreshPortRow(int p) {
    const DeviceStatus& s = status(p);
    const DeviceInfo& d = info(p);
    if (job_ == kJobGetId && s.present() == 0) return;
    if (isBasicEraseJob(job_)) {
        auto& lastResult = lastEraseResult_[static_cast<std::size_t>(p)];
        auto& lastState = lastPortState_[static_cast<std::size_t>(p)];
        if (s.eraseResult() != lastResult) {
            lastResult = s.eraseResult();
        } else if (s.portState() != lastState) {
            lastState = s.portState();
        } else {
            // Nothing changed: only the status cells, and only while the erase runs.
            if (s.eraseResult() == DeviceStatus::kEraseRunning) refreshPortStatus(p);
            return;
        }
    }
    refreshPortStatus(p);
    // A drive being powered up shows a blank row, its texts included, until its next record.
    if (s.portState() == kStateTurningOn) return;
    set(kCapacity, p,
        d.sectorSize() == 0 ? std::string() : sizeText(d.sectorCount(), d.sectorSize()));
    set(kModel, p, d.model());
    set(kVersion, p, d.version());
    set(kSerialNo, p, d.serialNo());
}

void PortTable::refreshPortStatus(int p) {
    const DeviceStatus& s = status(p);
    const DeviceInfo& d = info(p);
    const int j = job_;
    if (j != kJobGetId) set(kStatus, p, portStateName(s.portState()));
    if (s.portState() == kStateTurningOn) {
        for (int c = kStatus; c < kColumns; ++c)
            set(c, p, {});
        return;
    }
    const auto passOrFail = [&] {
        if (s.present() == 0 || d.sectorSize() == 0) return;
        set(kProgress, p, s.failed() != 0 ? "FAIL" : "PASS");
    };
    if (isBasicEraseJob(j)) {
        if (s.eraseResult() == DeviceStatus::kErasePassed) return set(kProgress, p, "PASS");
        if (s.eraseResult() == DeviceStatus::kEraseFailed) return set(kProgress, p, "FAIL");
    } else if (j == kJobGetId) {
        return passOrFail();
    } else if (s.portState() == kStateDone) {
        return passOrFail();
    }
    if (s.present() == 0) return;
    set(kSpeed, p, speedText(s.speedTime(), s.speedSectors(), d.sectorSize()));
    switch (s.portState()) {
        case kStateRead:
        case kStateWrite:
        case kStateCompare: {
            const std::uint64_t total = status(0).copyTotal();
            if (total != 0) set(kProgress, p, percent(s.copyDone(), total, d.sectorSize()));
            break;
        }
        case kStateSecurityErase:
            set(kProgress, p, "erasing");
            set(kSpeed, p, {});
            break;
        case kStateErase:
            if (d.sectorCount() != 0)
                set(kProgress, p, percent(s.eraseDone(), d.sectorCount(), d.sectorSize()));
            if (isMultiPassErase(j))
                set(kStatus, p, cformat("Loop%d,Data(%02X)", s.eraseLoop() + 1, s.erasePattern()));
            break;
        default:
            break;
    }
}

void PortTable::clearPortTable() {
    for (int p = 0; p < ports_; ++p)
        for (int c = kStatus; c < kColumns; ++c)
            set(c, p, {});
    lastEraseResult_.fill(0);
    lastPortState_.fill(0);
    status_.fill(DeviceStatus{});
    info_.fill(DeviceInfo{});
}

std::string PortTable::testReport() const {
    std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<TEST_REPORT>\r\n";
    const auto element = [&x](const char* name, const std::string& value) {
        x += cformat("    <%s>", name);
        appendXmlText(x, value);
        x += cformat("</%s>\r\n", name);
    };
    for (int p = 0; p < ports_; ++p) {
        if (status(p).present() == 0) continue;
        x += "  <Record>\r\n";
        element("PortNo", cformat("%d", p + 1));
        element("Model", info(p).model());
        element("Version", info(p).version());
        element("SerialNo", info(p).serialNo());
        x += "  </Record>\r\n";
    }
    x += "</TEST_REPORT>\r\n";
    return x;
}

bool PortTable::writeTestReport(const std::filesystem::path& path) const {
    return !path.empty() && writeWholeFile(path, testReport());
}

PanelLayout readPanelLayout(const std::filesystem::path& path, const std::string& machineId) {
    PanelLayout l;
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (f == nullptr) return l;
    char line[1024];
    char word[1024] = {};
    if (std::fgets(line, sizeof line, f) == nullptr || std::sscanf(line, "%1023s", word) != 1 ||
        machineId != word) {
        std::fclose(f);
        return l;
    }
    int height = 0;
    if (std::fscanf(f, "%d", &height) == 1) l.panelHeight = height;
    int n = 0;
    if (std::fscanf(f, "%d", &n) != 1) n = 0;
    if (n >= 0 && n <= 20) {
        for (int i = 0; i < n; ++i) {
            int w = 0;
            if (std::fscanf(f, "%d", &w) != 1) break;
            l.columnWidths[static_cast<std::size_t>(i)] = w;
        }
        // The rest of the line with the last number, then the output file's own line.
        if (std::fgets(line, sizeof line, f) != nullptr && std::strchr(line, '\n') != nullptr &&
            std::fgets(line, 512, f) != nullptr) {
            std::string out = line;
            while (!out.empty() && (out.back() == '\r' || out.back() == '\n'))
                out.pop_back();
            const std::size_t a = out.find_first_not_of(' ');
            const std::size_t b = out.find_last_not_of(' ');
            l.outputFile = a == std::string::npos ? std::string() : out.substr(a, b - a + 1);
        }
    }
    std::fclose(f);
    // What cannot be a height or a width is not taken.
    if (l.panelHeight < 0 || l.panelHeight > 100000) l.panelHeight = PanelLayout::kDefaultHeight;
    for (int& w : l.columnWidths)
        if (w < 0 || w > 100000) w = 100;
    return l;
}

bool writePanelLayout(const std::filesystem::path& path, const std::string& machineId,
                      int panelHeight, const std::vector<int>& columnWidths,
                      const std::string& outputFile) {
    std::string t = cformat("%s \n%d \n%d \n", machineId.c_str(), panelHeight,
                            static_cast<int>(columnWidths.size()));
    for (const int w : columnWidths)
        t += cformat("%d \n", w);
    t += outputFile + "\n";
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(t.data(), 1, t.size(), f) == t.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace mx40d
