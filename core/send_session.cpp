#include "core/send_session.h"

#include <utility>

namespace quenlet {

void SendSession::reset() {
    fileSending_ = 0;
    fileSendCancel_ = 0;
    loopSending_ = 0;
    boxSending_ = 0;
    boxSendCancel_ = 0;
    requestedSend_ = -1;
    loopCopyBusy_ = 0;
}

void SendSession::requestSingle(SendMode mode) {
    if (mode != SendMode::File) {
        boxSendCancel_ = 0;
        boxSending_ = 1;
    }
    requestedSend_ = static_cast<int>(mode);
}

bool SendSession::offerLoopCopy(std::vector<std::uint8_t> bytes, SendProgress::Kind kind) {
    if (loopCopyBusy_) return false;
    {
        CriticalSectionLock guard(lock_);
        loopCopy_ = std::move(bytes);
        loopCopyKind_ = kind;
    }
    loopCopyBusy_ = 1;
    return true;
}

bool SendSession::takeLoopCopy(std::vector<std::uint8_t>& bytes, SendProgress::Kind& kind) {
    if (!loopCopyBusy_) return false;
    CriticalSectionLock guard(lock_);
    bytes.swap(loopCopy_);
    loopCopy_.clear();
    kind = loopCopyKind_;
    return true;
}

void SendSession::stop() {
    if (fileSending_) fileSendCancel_ = 1;
    if (boxSending_) boxSendCancel_ = 1;
    loopSending_ = 0;  // a copy under way ends with it
}

void SendSession::clearSending() {
    fileSending_ = 0;
    loopSending_ = 0;
    boxSending_ = 0;
}

bool SendSession::endBoxSend() {
    // Another press while this send ran asked for one more: Stop stays on offer.
    if (!boxSending_ || requestedSend_ != -1) return false;
    boxSending_ = 0;
    return true;
}

bool SendSession::stopAsked(SendProgress::Kind kind, bool loopCopy) const {
    if (loopCopy) return !loopSending_;
    return kind == SendProgress::Kind::File ? fileSendCancel_ != 0 : boxSendCancel_ != 0;
}

void SendSession::dropRequests() {
    loopCopyBusy_ = 0;
    requestedSend_ = -1;
    boxSending_ = 0;
}

void SendSession::recordEnd(unsigned opening, const SendProgress& progress, End end) {
    CriticalSectionLock guard(lock_);
    last_ = Ending{opening, progress, end};
}

std::optional<SendProgress> SendSession::cutByLoss(unsigned opening, bool runningAtLoss) {
    CriticalSectionLock guard(lock_);
    if (last_.opening != opening) return std::nullopt;
    const bool cut = last_.end == End::Lost || (runningAtLoss && last_.end == End::Stopped);
    if (!cut) return std::nullopt;
    last_.opening = 0;  // named once
    return last_.progress;
}

}  // namespace quenlet
