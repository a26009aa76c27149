#pragma once

#include <array>
#include <string>

#include "protocol/MachineInfo.h"

namespace mx40d {

// The main window's list of known machines as a table model: a heading row and one row per
// registry record, in record order, so that machine row r shows registry record r. Five
// columns: row number, machine name, port count, "ON Line" / "OFF Line", log count.
// Rows are only ever added. The widget that shows the table reads it through `cell`.
class MachineTable {
  public:
    static constexpr int kColumns = 5;
    static constexpr int kMaxRows = 20;  // one per registry record
    static constexpr int kInitialGridRows = 6;
    static constexpr std::array<int, kColumns> kColumnWidths{64, 267, 64, 133, 178};

    enum Column : int { kNumber = 0, kName = 1, kPorts = 2, kStatus = 3, kLogCount = 4 };

    MachineTable();

    // Column headings in grid row 0.
    void setHeading();
    // Appends a row for a machine and returns its machine row number (counted from 0), or -1
    // when all rows are taken.
    int addMachineRow(const MachineInfo& record);

    // Number of machine rows; machine row r is grid row r + 1.
    int rowCount() const { return rowCount_; }
    // Rows of the grid, heading included; never fewer than at creation.
    int gridRowCount() const { return gridRowCount_; }
    // The text of a cell by grid row; empty outside the table.
    const std::string& cell(int column, int gridRow) const;
    // Sets a cell of machine row `row`; ignored for rows that do not exist.
    void setMachineCell(int row, int column, const std::string& text);

    // "%d/%d": local records held / records on the machine.
    static std::string logCountText(const MachineInfo& record);
    // The nickname, or the model name when the nickname is empty.
    static std::string displayName(const MachineInfo& record);

    // Counts every change, so a widget showing the table knows when to redraw it.
    unsigned revision() const { return revision_; }

  private:
    unsigned revision_ = 0;
    std::array<std::array<std::string, kColumns>, kMaxRows + 1> cells_{};
    int rowCount_ = 0;
    int gridRowCount_ = kInitialGridRows;
};

}  // namespace mx40d
