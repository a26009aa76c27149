#include "shell/MachineTable.h"

#include <gtest/gtest.h>

#include "support/HubFixture.h"

namespace mx40d {
namespace {

using testing::machine;

TEST(MachineTable, HeadingAndGridSize) {
    MachineTable t;
    t.setHeading();
    const char* heading[] = {" ", "Machine", "Port", "Status", "Log Count"};
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(t.cell(c, 0), heading[c]);
    EXPECT_EQ(t.gridRowCount(), 6);
    EXPECT_EQ(t.rowCount(), 0);
    EXPECT_EQ(MachineTable::kColumnWidths[1], 267);
}

TEST(MachineTable, RowTexts) {
    struct Case {
        const char* name;
        std::string nick;
        std::uint8_t logs;
        int stored, start, next;
        const char* column1;
        const char* column4;
    };
    const Case cases[] = {
        {"nickname shown", "Line 3", 1, 5, 10, 20, "Line 3", "6/30"},
        {"model without nickname", "", 1, 5, 10, 20, "MX-4000", "6/30"},
        {"nothing on the machine", "", 1, 7, 10, 0, "MX-4000", "7/0"},
        {"nothing stored", "", 1, 0, 0, 12, "MX-4000", "0/12"},
        {"no log support", "", 0, 5, 10, 20, "MX-4000", ""},
        {"other log flag", "", 2, 5, 10, 20, "MX-4000", ""},
    };
    for (const Case& c : cases) {
        MachineTable t;
        MachineInfo m = machine("ID");
        m.setNickName(c.nick);
        m.set_support_LogRecord(c.logs);
        m.setLastStoredLogNo(c.stored);
        m.set_Machine_LOG_startNo(c.start);
        m.set_Machine_LOG_nextNewNo(c.next);
        m.setMaxDeviceQty(24);
        ASSERT_EQ(t.addMachineRow(m), 0) << c.name;
        EXPECT_EQ(t.cell(0, 1), "  1") << c.name;
        EXPECT_EQ(t.cell(1, 1), c.column1) << c.name;
        EXPECT_EQ(t.cell(2, 1), "24") << c.name;
        EXPECT_EQ(t.cell(3, 1), "OFF Line") << c.name;
        EXPECT_EQ(t.cell(4, 1), c.column4) << c.name;
    }
}

TEST(MachineTable, RowsOnlyGrowAndStopAtTwenty) {
    MachineTable t;
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(t.addMachineRow(machine("M")), i);
        EXPECT_EQ(t.cell(0, i + 1), "  " + std::to_string(i + 1));
        EXPECT_EQ(t.gridRowCount(), std::max(6, i + 2));
    }
    EXPECT_EQ(t.addMachineRow(machine("M")), -1);
    EXPECT_EQ(t.rowCount(), 20);
    t.setMachineCell(20, 3, "ON Line");  // no such row
    t.setMachineCell(19, 3, "ON Line");
    EXPECT_EQ(t.cell(3, 20), "ON Line");
    EXPECT_EQ(t.cell(3, 21), "");
    EXPECT_EQ(t.cell(5, 1), "");
}

}  // namespace
}  // namespace mx40d
