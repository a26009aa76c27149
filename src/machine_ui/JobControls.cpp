#include "machine_ui/JobControls.h"

#include "machine_ui/Names.h"

namespace mx40d {

namespace {
constexpr int kGetIdJob = 26;
constexpr int kWaitingStage = 4;
}  // namespace

const char* JobControls::caption(Button b) {
    static const char* const kCaptions[kButtonCount] = {"Copy",
                                                        "Compare",
                                                        "Copy+Compare",
                                                        "Get ID",
                                                        "Next RUN",
                                                        "Finish",
                                                        "Setting",
                                                        "STOP",
                                                        "Change Machine Name",
                                                        "Generate Log Report"};
    return b >= 0 && b < kButtonCount ? kCaptions[b] : "";
}

void JobControls::build(bool jobControls, bool logArea) {
    exists_.fill(false);
    for (int b = Copy; b <= Stop; ++b)
        exists_[b] = jobControls;
    exists_[ChangeMachineName] = !jobControls;
    exists_[GenerateLogReport] = logArea;
    visible_.fill(true);
    visible_[NextRun] = visible_[Finish] = visible_[Stop] = false;
    enabled_.fill(true);
    jobText_.assign(1, ' ');
    jobCode_ = -1;
    jobStage_ = -1;
}

void JobControls::showJob(int jobCode, int jobStage) {
    if (jobCode == jobCode_ && jobStage == jobStage_) return;
    jobCode_ = jobCode;
    jobStage_ = jobStage;
    jobText_ = jobName(jobCode);
    if (!exists_[Copy]) return;
    visible_[Finish] = visible_[NextRun] = jobStage == kWaitingStage;
    visible_[Stop] = jobCode != kGetIdJob && jobStage != kWaitingStage;
}

void JobControls::setIdle(bool idle) {
    if (exists_[Copy]) {
        for (const Button b : {Copy, Compare, CopyCompare, GetId, Setting})
            visible_[b] = idle;
        visible_[Finish] = visible_[NextRun] = false;
        visible_[Stop] = !idle;
    } else {
        visible_[ChangeMachineName] = idle;
    }
    enabled_[GenerateLogReport] = idle;
}

std::string JobControls::shownButtons() const {
    std::string out;
    for (int b = 0; b < kButtonCount; ++b) {
        const auto button = static_cast<Button>(b);
        if (!visible(button) || !enabled(button)) continue;
        if (!out.empty()) out += '|';
        out += caption(button);
    }
    return out;
}

}  // namespace mx40d
