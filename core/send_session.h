// What the sender does and has done: the send under way (what is sending), the sends asked for and
// not yet begun, a Stop that asks it to end, and how the last send of an opening got on and why it
// ended. The window thread asks for sends and stops them; the sender thread runs them. The flags
// are read without a lock from either thread; the loop copy and the last send's record are handed
// over under one.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/port_notices.h"
#include "framework/handles.h"
#include "settings/port_settings.h"

namespace quenlet {

class SendSession {
public:
    // Why a send ended.
    enum class End {
        Done,        // every byte went out
        Stopped,     // Stop, a close or the exit
        Stalled,     // a loop copy the device did not take within the write limit
        Lost,        // a write failed: the device is gone
        ReadFailed,  // the send file could not be read to its end
    };

    // Window thread.
    // A new opening: nothing runs and nothing is asked.
    void reset();
    // The Send button without Loops: the sender sends mode once. The send box's modes show Stop at
    // once; a file send does when the sender begins it.
    void requestSingle(SendMode mode);
    void startLoop() { loopSending_ = 1; }
    void endLoop() { loopSending_ = 0; }
    // A loop tick's copy for the sender; false (nothing handed over) while the last copy is still
    // on its way: the tick falls inside it.
    bool offerLoopCopy(std::vector<std::uint8_t> bytes, SendProgress::Kind kind);
    // Stop: the running send (or loop) is to end.
    void stop();
    // After Stop's pause: nothing counts as sending any more.
    void clearSending();

    // Sender thread.
    // The SendMode of the single send asked for, -1 when none; a further request may follow.
    int takeRequest() { return requestedSend_.exchange(-1); }
    bool hasRequest() const { return requestedSend_ != -1; }
    bool takeLoopCopy(std::vector<std::uint8_t>& bytes, SendProgress::Kind& kind);
    void loopCopyDone() { loopCopyBusy_ = 0; }
    void beginFile() {
        fileSendCancel_ = 0;
        fileSending_ = 1;
    }
    void endFile() { fileSending_ = 0; }
    // A single send of the send box ended; false when it had already been taken back (Stop).
    bool endBoxSend();
    // Whether Stop asked the send of kind (or the loop, for a loop copy) to end.
    bool stopAsked(SendProgress::Kind kind, bool loopCopy) const;
    bool fileCancelled() const { return fileSendCancel_ != 0; }
    // A closing port drops what was asked of it.
    void dropRequests();
    // The end of a send of opening, with how far it got.
    void recordEnd(unsigned opening, const SendProgress& progress, End end);

    // Either thread.
    bool fileSending() const { return fileSending_ != 0; }
    bool loopSending() const { return loopSending_ != 0; }
    bool boxSending() const { return boxSending_ != 0; }
    bool running() const { return fileSending() || loopSending() || boxSending(); }
    bool loopCopyBusy() const { return loopCopyBusy_ != 0; }

    // The send that the loss of opening cut short, to be named in the loss's message: one that a
    // failed write ended, or one that was still running when the loss was handled (runningAtLoss)
    // and so ended with the close the loss caused. A send that had ended before, stopped or done,
    // is not named, however long ago that was.
    std::optional<SendProgress> cutByLoss(unsigned opening, bool runningAtLoss);

private:
    std::atomic<int> fileSending_{0};
    std::atomic<int> loopSending_{0};
    std::atomic<int> boxSending_{0};
    std::atomic<int> fileSendCancel_{0};
    std::atomic<int> boxSendCancel_{0};
    std::atomic<int> requestedSend_{-1};
    std::atomic<int> loopCopyBusy_{0};

    CriticalSection lock_;
    std::vector<std::uint8_t> loopCopy_;
    SendProgress::Kind loopCopyKind_ = SendProgress::Kind::Text;
    struct Ending {
        unsigned opening = 0;  // 0: none recorded
        SendProgress progress;
        End end = End::Done;
    };
    Ending last_;
};

}  // namespace quenlet
