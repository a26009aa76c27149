// The monitor's programs as real processes: a second start and a machine on a socket.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "shell/MachineRegistry.h"
#include "support/Fixtures.h"

using namespace mx40d;
using namespace mx40d::testing;
namespace fs = std::filesystem;

namespace {

// Waits (a bounded number of short polls) for a condition another process brings about.
bool waitFor(const std::function<bool()>& done, int seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

std::string demo() {
    return std::string("QT_QPA_PLATFORM=offscreen ") + MX40D_DEMO_TOOL;
}

// The first instance's listening socket.
fs::path instanceSocket() {
    return fs::temp_directory_path() / ("mx40d-demo-" + std::to_string(::getuid()));
}

}  // namespace

TEST(Processes, ASecondStartEndsAtOnceAndBringsTheFirstForward) {
    TempFolder dir;
    const fs::path out1 = dir.root() / "first.txt";
    ASSERT_EQ(std::system((demo() + " --machines 0 --quit-after 8 --folder " +
                           (dir.root() / "a").string() + " >" + out1.string() + " 2>&1 &")
                              .c_str()),
              0);
    ASSERT_TRUE(waitFor([] { return fs::exists(instanceSocket()); }, 15));
    int code = -1;
    const auto start = std::chrono::steady_clock::now();
    const std::string second = runCommand(
        demo() + " --machines 0 --quit-after 30 --folder " + (dir.root() / "b").string() + " 2>&1",
        nullptr, &code);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(code, 0) << second;
    EXPECT_NE(second.find("already running"), std::string::npos) << second;
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_FALSE(fs::exists(dir.root() / "b" / "DATABASE"));  // no window, no monitor
    ASSERT_TRUE(
        waitFor([&] { return readFile(out1).find("databases in") != std::string::npos; }, 30));
    EXPECT_NE(readFile(out1).find("a second start asked this window to come forward"),
              std::string::npos)
        << readFile(out1);
}

TEST(Processes, AScriptedMachineOnASocketIsServed) {
    if (!haveTool("python3")) GTEST_SKIP() << "python3 missing";
    TempFolder dir;
    const fs::path socket = dir.root() / "machine.sock";
    const fs::path out = dir.root() / "demo.txt";
    ASSERT_EQ(
        std::system((demo() + " --machines 0 --quit-after 8 --machine-socket " + socket.string() +
                     " --folder " + (dir.root() / "w").string() + " >" + out.string() + " 2>&1 &")
                        .c_str()),
        0);
    int code = -1;
    const std::string machine = runCommand(
        std::string("python3 ") + MX40D_SOCKET_MACHINE + " " + socket.string() + " 20 2>&1",
        nullptr, &code);
    EXPECT_EQ(code, 0) << machine;
    ASSERT_TRUE(
        waitFor([&] { return readFile(out).find("databases in") != std::string::npos; }, 30));
    const std::string text = readFile(out);
    EXPECT_NE(text.find("mx40d-demo: pages: Socket bay"), std::string::npos) << text;
    MachineRegistry registry;
    ASSERT_EQ(registry.open(dir.root() / "w" / "DATABASE" / "ORVANE_MX40D.DB7"),
              DatabaseResult::Pass);
    EXPECT_EQ(registry.record(0).machineId(), "SOCK-0001");
    EXPECT_EQ(registry.record(0).modelName(), "SOCKET-RIG");
    EXPECT_EQ(fs::file_size(dir.root() / "w" / "DATABASE" / "SOCK-0001.MX40D.LOGDATA"),
              512u + 3u * 256u);
}
