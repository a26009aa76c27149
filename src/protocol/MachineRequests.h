#pragma once

#include <string>

#include "protocol/Commands.h"

namespace mx40d {

// What a machine's panel and window may ask of their machine, and nothing more: the job
// requests of its buttons and a new nickname. The engine takes them at its next free step;
// tests record them.
class MachineRequests {
  public:
    virtual ~MachineRequests() = default;
    // Copy, Compare, Copy+Compare, Get ID (served while the machine is idle) or Finish,
    // Next RUN, STOP (served while a job runs).
    virtual void requestJob(JobRequest request) = 0;
    // The machine's new name; the first 56 bytes are sent.
    virtual void setNickname(const std::string& text) = 0;
};

}  // namespace mx40d
