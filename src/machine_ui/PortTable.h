#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "machine_ui/DeviceRecords.h"
#include "protocol/Commands.h"

namespace mx40d {

// The machine panel's port grid as state: one row per drive port, eight columns ("Port",
// "Status", "Progress", "Speed(MB/S)", "Capacity", "Model", "Version", "Serial No."), each
// cell's text and colour, fed with the machine's device records while a job runs. The widget
// only draws the rows `takeChangedRows` names.
class PortTable {
  public:
    static constexpr int kColumns = 8;
    static constexpr int kMaxPorts = 512;
    enum Column : int {
        kPort = 0,
        kStatus = 1,
        kProgress = 2,
        kSpeed = 3,
        kCapacity = 4,
        kModel = 5,
        kVersion = 6,
        kSerialNo = 7
    };
    enum class Colour { Normal, Pass, Fail };  // "PASS" green (0,128,0), "FAIL" red (255,0,0)

    static const char* heading(int column);

    // maxDeviceQty ports (at most 512) below the heading; column 0 " %02d".
    void setup(int ports);
    int ports() const { return ports_; }
    const std::string& cell(int column, int row) const;  // row 0 is the heading
    Colour colour(int column, int row) const;

    // The status block's job code, the job the row rules test.
    void setJob(int jobCode) { job_ = jobCode; }
    int job() const { return job_; }

    // Device records of one answer ("D" kind 0: 184-byte entries, "E" kind 1: 64-byte ones);
    // ignored whole when the machine is idle or the block reaches past the last port.
    void applyDeviceBlock(int currentJob, const DeviceBlockEvent& block);
    void clearPortTable();
    void refreshPortRow(int port);
    void refreshPortStatus(int port);

    const DeviceStatus& status(int port) const { return status_[static_cast<std::size_t>(port)]; }
    const DeviceInfo& info(int port) const { return info_[static_cast<std::size_t>(port)]; }

    // Rows (counted from 1) whose cells changed since the last call.
    std::vector<int> takeChangedRows();

    // The XML test report of the drives present: declaration, <TEST_REPORT>, a <Record> per
    // port with a drive, lines ended by CR LF, drive texts escaped.
    std::string testReport() const;
    // Writes it whole or not at all (a temporary file renamed over `path`). Nothing for an
    // empty path; false when it could not be written.
    bool writeTestReport(const std::filesystem::path& path) const;

  private:
    void set(int column, int port, std::string text);

    int ports_ = 0;
    int job_ = 0;
    std::vector<std::array<std::string, kColumns>> cells_;
    std::vector<bool> changed_;
    std::array<DeviceStatus, kMaxPorts> status_{};
    std::array<DeviceInfo, kMaxPorts> info_{};
    std::array<std::uint8_t, kMaxPorts> lastEraseResult_{};
    std::array<std::uint8_t, kMaxPorts> lastPortState_{};
};

// The panel's layout file "<dir>/<id>.mx4d-2.par": the upper panel's height, the grid's
// column widths and the test report's file.
struct PanelLayout {
    static constexpr int kDefaultHeight = 300;
    static constexpr std::array<int, 8> kDefaultWidths{50, 120, 180, 120, 125, 290, 100, 375};
    int panelHeight = kDefaultHeight;
    std::array<int, 20> columnWidths{50, 120, 180, 120, 125, 290, 100, 375};
    std::string outputFile;
};
// A file of another machine, or any damaged one, gives what it can and the defaults for the
// rest; a column count above 20 keeps every width (and the output file) at its default.
PanelLayout readPanelLayout(const std::filesystem::path& path, const std::string& machineId);
bool writePanelLayout(const std::filesystem::path& path, const std::string& machineId,
                      int panelHeight, const std::vector<int>& columnWidths,
                      const std::string& outputFile);

}  // namespace mx40d
