#pragma once

#include <array>
#include <string>

namespace mx40d {

// The job box and the buttons of a machine panel, as state: which exist, which are shown,
// which are enabled, and the job box's text. The panel widget mirrors this state; the
// controller drives it through showJob and setIdle.
//
// Three button sets: idle (the start buttons and "Setting"), running (only "STOP"), and
// waiting at stage 4 ("Finish" and "Next RUN").
class JobControls {
  public:
    enum Button : int {
        Copy,
        Compare,
        CopyCompare,
        GetId,
        NextRun,
        Finish,
        Setting,
        Stop,
        ChangeMachineName,
        GenerateLogReport,
        kButtonCount
    };

    // The controls a panel builds: the eight job controls when the machine's feature flag 1
    // is set (otherwise only "Change Machine Name"), "Generate Log Report" when it keeps a log.
    JobControls(bool jobControls = true, bool logArea = true) { build(jobControls, logArea); }
    void build(bool jobControls, bool logArea);

    // Names the job and shows the buttons of its stage; nothing when both equal the last call.
    void showJob(int jobCode, int jobStage);
    void setIdle(bool idle);

    bool exists(Button b) const { return exists_[b]; }
    bool visible(Button b) const { return exists_[b] && visible_[b]; }
    bool enabled(Button b) const { return exists_[b] && enabled_[b]; }
    const std::string& jobText() const { return jobText_; }
    // The captions of the buttons shown (and, for "Generate Log Report", enabled), in order,
    // separated by '|'.
    std::string shownButtons() const;

    static const char* caption(Button b);

  private:
    std::array<bool, kButtonCount> exists_{};
    std::array<bool, kButtonCount> visible_{};
    std::array<bool, kButtonCount> enabled_{};
    std::string jobText_;
    int jobCode_ = -1;
    int jobStage_ = -1;
};

}  // namespace mx40d
