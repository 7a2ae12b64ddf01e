// The bookkeeping of the port's openings and of the things told once per opening: its loss (the
// monitor and a send may both find the device gone, and a failure found during one opening must
// never close the next) and an overrun. The openings are numbered from 1; 0 is none.
#pragma once

#include <atomic>

namespace quenlet {

class PortLossLedger {
public:
    // A successful open (window thread): the new opening's number.
    unsigned begin() { return ++current_; }
    unsigned current() const { return current_; }
    bool isCurrent(unsigned opening) const { return opening != 0 && opening == current_; }

    // Window thread: true for the first report of the current opening's loss, false for a repeat
    // or for an opening that is over.
    bool claimLoss(unsigned opening) {
        if (!isCurrent(opening) || opening == lost_) return false;
        lost_ = opening;
        return true;
    }
    // Monitor thread: true the first time an overrun of opening is reported.
    bool claimOverrun(unsigned opening) {
        if (opening == overrunTold_) return false;
        overrunTold_ = opening;
        return true;
    }

private:
    std::atomic<unsigned> current_{0};
    unsigned lost_ = 0;         // window thread
    unsigned overrunTold_ = 0;  // monitor thread
};

}  // namespace quenlet
