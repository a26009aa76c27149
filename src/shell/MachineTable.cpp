#include "shell/MachineTable.h"

#include <algorithm>

#include "base/Text.h"

namespace mx40d {

namespace {
const std::string kEmpty;
}

MachineTable::MachineTable() = default;

void MachineTable::setHeading() {
    cells_[0] = {" ", "Machine", "Port", "Status", "Log Count"};
    ++revision_;
}

int MachineTable::addMachineRow(const MachineInfo& record) {
    if (rowCount_ >= kMaxRows) return -1;
    ++revision_;
    ++rowCount_;
    gridRowCount_ = std::max(gridRowCount_, rowCount_ + 1);
    auto& row = cells_[static_cast<std::size_t>(rowCount_)];
    row[kNumber] = cformat("  %d", rowCount_);
    row[kName] = displayName(record);
    row[kPorts] = cformat("%d", record.maxDeviceQty());
    row[kStatus] = "OFF Line";
    row[kLogCount].clear();
    if (record.support_LogRecord() == 1) {
        const int stored = record.lastStoredLogNo();
        const int total = record.Machine_LOG_startNo() + record.Machine_LOG_nextNewNo();
        if (record.Machine_LOG_nextNewNo() == 0) {
            row[kLogCount] = cformat("%d/0", stored);
        } else if (stored == 0) {
            row[kLogCount] = cformat("0/%d", total);
        } else {
            row[kLogCount] = cformat("%d/%d", stored + 1, total);
        }
    }
    return rowCount_ - 1;
}

const std::string& MachineTable::cell(int column, int gridRow) const {
    if (column < 0 || column >= kColumns || gridRow < 0 || gridRow > rowCount_) return kEmpty;
    return cells_[static_cast<std::size_t>(gridRow)][static_cast<std::size_t>(column)];
}

void MachineTable::setMachineCell(int row, int column, const std::string& text) {
    if (row < 0 || row >= rowCount_ || column < 0 || column >= kColumns) return;
    ++revision_;
    cells_[static_cast<std::size_t>(row + 1)][static_cast<std::size_t>(column)] = text;
}

std::string MachineTable::logCountText(const MachineInfo& record) {
    return cformat("%d/%d", record.lastStoredLogNo() + 1,
                   record.Machine_LOG_startNo() + record.Machine_LOG_nextNewNo());
}

std::string MachineTable::displayName(const MachineInfo& record) {
    std::string name = record.nickName();
    return name.empty() ? record.modelName() : name;
}

}  // namespace mx40d
