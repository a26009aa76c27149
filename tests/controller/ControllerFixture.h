#pragma once

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "controller/MachineController.h"
#include "controller/RecordingView.h"

namespace mx40d::testing {

// A fresh folder per test under the system's temporary folder, removed afterwards.
class ScratchFolder {
  public:
    explicit ScratchFolder(const std::string& suffix = "") {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("mx40d-") + info->test_suite_name() + "-" + info->name() +
                           suffix + "-" + std::to_string(::getpid());
        for (char& c : name)
            if (c == '/') c = '_';
        root_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path make(const std::string& sub) const {
        std::filesystem::create_directories(root_ / sub);
        return root_ / sub;
    }
    // Every regular file under the folder, relative to it, sorted.
    std::vector<std::string> files() const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::recursive_directory_iterator(root_))
            if (e.is_regular_file()) out.push_back(e.path().lexically_relative(root_).string());
        std::sort(out.begin(), out.end());
        return out;
    }

  private:
    std::filesystem::path root_;
};

inline std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What the main window receives from one controller.
struct MainEvents {
    struct Event {
        int controller, code, number;
        const void* pointer;
    };
    std::vector<Event> all;
    // Called with each event as it arrives, while the controller is inside its handler.
    std::function<void(int code)> hook;
    MachineController::MachineEventSink sink() {
        return [this](int c, int code, int n, const void* p) {
            all.push_back({c, code, n, p});
            if (hook) hook(code);
        };
    }
    std::vector<int> codes() const {
        std::vector<int> out;
        for (const auto& e : all)
            out.push_back(e.code);
        return out;
    }
    int count(int code) const {
        return static_cast<int>(
            std::count_if(all.begin(), all.end(), [&](const Event& e) { return e.code == code; }));
    }
};

}  // namespace mx40d::testing
