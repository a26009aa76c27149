#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "hid/HidTransport.h"
#include "protocol/MachineInfo.h"
#include "shell/MachineHub.h"

namespace mx40d::testing {

// A fresh folder per test and process under the system's temporary folder, removed
// afterwards; builds that run the same tests at once never share one.
class TempFolder {
  public:
    TempFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("mx40d-shell-") + info->test_suite_name() + "-" +
                           info->name() + "-" + std::to_string(::getpid());
        std::replace(name.begin(), name.end(), '/', '_');
        root_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::permissions(root_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(root_, ec);
    }
    const std::filesystem::path& root() const { return root_; }

  private:
    std::filesystem::path root_;
};

inline std::vector<std::uint8_t> readBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::filesystem::path& p, const std::vector<std::uint8_t>& b) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// A machine information record as a machine of kind '3' or '5' answers it.
inline MachineInfo machine(const std::string& id, const std::string& model = "MX-4000",
                           std::uint8_t kind = '3') {
    MachineInfo m;
    m.setDeviceType(kind);
    m.setMachineId(id);
    m.setModelName(model);
    m.setVersion("v1.2.3");
    m.setMaxDeviceQty(16);
    return m;
}

// A hub with its database and debug folders in a fresh folder, around a screen that is the
// hub's UserNotice and owns its clock and HID backend.
template <class Screen>
class HubFixture : public ::testing::Test {
  protected:
    HubFixture() {
        std::filesystem::create_directories(dir.root() / "DATABASE");
        std::filesystem::create_directories(dir.root() / "DEBUG_SESSION");
    }
    std::string slotPath(int slot) {
        HidTransport* link = hub.slotLink(slot);
        return link != nullptr ? link->devicePath() : "";
    }
    int activeControllers() {
        int n = 0;
        for (int i = 0; i < MachineHub::kControllerCount; ++i)
            n += hub.controller(i).active() ? 1 : 0;
        return n;
    }

    TempFolder dir;
    Screen screen;
    MachineHub hub{screen.clock, screen, screen.backend, dir.root() / "DATABASE",
                   dir.root() / "DEBUG_SESSION"};
};

}  // namespace mx40d::testing
