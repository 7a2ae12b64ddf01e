// The bookkeeping of the port's openings and of its losses: which opening is current, the things
// told once per opening (its loss: the monitor and a send may both find the device gone, and a
// failure found during one opening must never close the next; an overrun), and the wait for a lost
// device to return, with the reason the status line gives. The openings are numbered from 1; 0 is
// none.
#pragma once

#include <windows.h>

#include <atomic>

namespace quenlet {

class PortLossLedger {
public:
    // A successful open, or the device's return (window thread): the new opening's number.
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

    // The wait for a lost device (window thread starts and ends it; the monitor notes attempts).
    void startWaiting(DWORD lossCode) {
        lossCode_ = lossCode;
        held_ = false;
        waiting_ = true;
    }
    void endWaiting() { waiting_ = false; }
    bool waiting() const { return waiting_; }
    // An attempt to open the device again failed with code; held: another program holds the
    // port. True when what the status line says changed.
    bool noteAttempt(DWORD code, bool held) {
        ++attempts_;
        const bool changed = held != held_ || (held && code != heldCode_);
        if (held) heldCode_ = code;
        held_ = held;
        return changed;
    }
    // Why the port waits: the system's code of the loss, or of the refusal while another program
    // holds the port (heldByOther).
    DWORD reason() const { return held_ ? heldCode_ : lossCode_; }
    bool heldByOther() const { return held_; }
    long long attempts() const { return attempts_; }

private:
    std::atomic<unsigned> current_{0};
    unsigned lost_ = 0;         // window thread
    unsigned overrunTold_ = 0;  // monitor thread
    std::atomic<bool> waiting_{false};
    std::atomic<DWORD> lossCode_{0};
    std::atomic<DWORD> heldCode_{0};
    std::atomic<bool> held_{false};
    std::atomic<long long> attempts_{0};
};

}  // namespace quenlet
