#include "hid/UdevHotplugSource.h"

#include <gtest/gtest.h>

#include <string>

namespace mx40d {
namespace {

TEST(UdevHotplugSource, TranslatesAddAndRemoveOnly) {
    struct Case {
        const char* action;
        const char* devnode;
        bool wanted;
        HotplugEvent::Kind kind;
    } cases[] = {
        {"add", "/dev/hidraw3", true, HotplugEvent::Kind::Arrival},
        {"remove", "/dev/hidraw3", true, HotplugEvent::Kind::Removal},
        {"change", "/dev/hidraw3", false, HotplugEvent::Kind::Arrival},
        {"bind", "/dev/hidraw3", false, HotplugEvent::Kind::Arrival},
        {nullptr, "/dev/hidraw3", false, HotplugEvent::Kind::Arrival},
        {"add", nullptr, false, HotplugEvent::Kind::Arrival},
        {"add", "", false, HotplugEvent::Kind::Arrival},
    };
    for (const auto& c : cases) {
        HotplugEvent e;
        EXPECT_EQ(UdevHotplugSource::translate(c.action, c.devnode, e), c.wanted);
        if (c.wanted) {
            EXPECT_EQ(e.kind, c.kind);
            EXPECT_EQ(e.path, c.devnode);
        }
    }
}

TEST(UdevHotplugSource, CutsOverLongPaths) {
    const std::string longName = "/dev/" + std::string(5000, 'h');
    HotplugEvent e;
    ASSERT_TRUE(UdevHotplugSource::translate("remove", longName.c_str(), e));
    EXPECT_EQ(e.path, longName.substr(0, UdevHotplugSource::kMaxPath));
}

TEST(UdevHotplugSource, PollsWithoutBlocking) {
    UdevHotplugSource source;
    if (!source.valid()) {
        EXPECT_EQ(source.fileDescriptor(), -1);
    } else {
        EXPECT_GE(source.fileDescriptor(), 0);
    }
    int events = 0;
    source.poll([&events](const HotplugEvent&) { ++events; });  // returns with nothing waiting
    SUCCEED() << events;
}

}  // namespace
}  // namespace mx40d
