// PortController: sending the send box as text or hexadecimal bytes, and sending a file.
#include <io.h>

#include <algorithm>
#include <array>
#include <cstdio>

#include "core/line_timing.h"
#include "core/port_controller.h"
#include "core/port_errors.h"
#include "core/port_notices.h"
#include "framework/dialog.h"
#include "framework/message_box.h"
#include "res/resource.h"
#include "settings/port_settings.h"
#include "transmit/hex_text.h"

namespace quenlet {

namespace {

constexpr size_t kSendChunk = 1024;
constexpr size_t kFileChunk = 512;
constexpr DWORD kFileChunkPauseMs = 10;
// A device that takes nothing without waiting out its time-out is asked again after this pause.
constexpr DWORD kNoProgressPauseMs = 10;

// The whole text of an edit box, CR LF line breaks included.
std::string boxText(HWND box) {
    const LRESULT length = SendMessageA(box, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0) return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const LRESULT copied = SendMessageA(box, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

}  // namespace

std::string PortController::removeBlanks(std::string_view text) { return quenlet::removeBlanks(text); }

bool PortController::isHexDigits(std::string_view text) { return quenlet::isHexDigits(text); }

size_t PortController::writeChunk(size_t largest) const {
    return writeChunkBytes(openedFrame, static_cast<DWORD>(largest), kStopPauseMs);
}

bool PortController::isLoopChecked() const {
    return IsDlgButtonChecked(mainDialog->hwnd(), IDC_LOOPS) != 0;
}

void PortController::addSent(DWORD count) {
    bytesSent += count;
    refreshStatusLine();
}

bool PortController::takeBoxBytes(SendMode mode, std::vector<std::uint8_t>& bytes, SendProgress::Kind& kind) {
    const std::string text = boxText(item(IDC_SEND_BOX));
    if (mode == SendMode::Ascii) {
        bytes.assign(text.begin(), text.end());
        kind = SendProgress::Kind::Text;
        return !bytes.empty();
    }
    kind = SendProgress::Kind::Hex;
    if (text.empty()) return false;
    const std::string digits = removeBlanks(text);
    if (!isHexDigits(digits)) {
        SetWindowTextA(item(IDC_RECEIVE_BOX), "Your sendding data is invalid hexadecimal string!\r\n");
        return false;
    }
    bytes = hexDigitsToBytes(digits);
    return !bytes.empty();
}

// The send box is read on the window thread whichever thread asks. Wine 10 passes the buffer of a
// WM_GETTEXT sent from another thread through the window thread's stack, and such a message whose
// buffer outgrows that stack never returns: a large send box would send nothing.
void PortController::sendBox(SendMode mode) {
    std::vector<std::uint8_t> bytes;
    SendProgress::Kind kind = SendProgress::Kind::Text;
    bool any = false;
    auto take = [&] { any = takeBoxBytes(mode, bytes, kind); };
    mainDialog->runOnWindowThread(take);
    if (any) sendBytes(bytes.data(), bytes.size(), kind);
}

void PortController::sendText() { sendBox(SendMode::Ascii); }

void PortController::sendHex() { sendBox(SendMode::Hex); }

// Sender thread: the send box's bytes in writes of up to kSendChunk (fewer on a slow line); every
// byte goes out however long the device holds the flow, until Stop, Close, the exit or a lost
// device ends the send.
void PortController::sendBytes(const std::uint8_t* data, size_t size, SendProgress::Kind kind) {
    if (size == 0) return;
    const unsigned opening = openings;
    SendProgress progress{kind, 0, static_cast<std::int64_t>(size)};
    WriteEnd end = WriteEnd::Done;
    const size_t chunk = writeChunk(kSendChunk);
    for (size_t offset = 0; offset < size && end == WriteEnd::Done; offset += chunk) {
        end = writeAll(data + offset, std::min(chunk, size - offset), opening, progress, SendRun::Single);
    }
    recordSendEnd(opening, progress, end == WriteEnd::Done);
    // What went out of a send the user ended is told, so that the far end's share is known.
    if (end == WriteEnd::Stopped && !senderExit) postNotice(sendStoppedText(progress));
}

// Sender thread: one copy of a loop, whole, in writes of up to kSendChunk (fewer on a slow line).
// A device that does not take a write's bytes within the write's limit (which grows with their
// line time, so a slow line is not taken for a held one) ends the loop, with one message.
void PortController::sendLoopCopy() {
    std::vector<std::uint8_t> copy;
    SendProgress::Kind kind = SendProgress::Kind::Text;
    {
        CriticalSectionLock lock(loopCopyLock);
        copy.swap(loopCopy);
        kind = loopCopyKind;
    }
    const unsigned opening = openings;
    SendProgress progress{kind, 0, static_cast<std::int64_t>(copy.size())};
    WriteEnd end = WriteEnd::Done;
    const size_t chunk = writeChunk(kSendChunk);
    for (size_t offset = 0; offset < copy.size() && end == WriteEnd::Done; offset += chunk) {
        end = writeAll(copy.data() + offset, std::min(chunk, copy.size() - offset), opening, progress,
                       SendRun::LoopCopy);
    }
    recordSendEnd(opening, progress, end != WriteEnd::Failed);
    loopCopyBusy = 0;
    if (end != WriteEnd::Stalled) return;
    mainDialog->postToWindowThread([this, opening, progress] {
        // Stop, a close or a new opening since then: the loop this copy belonged to is gone.
        if (opening != openings || !loopSending) return;
        mainDialog->KillTimer(kLoopTimerId);
        loopSending = 0;
        refreshDisplay();
        ShowMessage(loopStalledText(progress.sent, progress.total).c_str());
    });
}

bool PortController::sendStopped(SendProgress::Kind kind, SendRun run) const {
    if (senderStop || senderExit) return true;
    if (run == SendRun::LoopCopy) return !loopSending;
    return kind == SendProgress::Kind::File ? fileSendCancel != 0 : boxSendCancel != 0;
}

PortController::WriteEnd PortController::writeAll(const std::uint8_t* data, size_t size, unsigned opening,
                                                  SendProgress& progress, SendRun run) {
    size_t done = 0;
    while (done < size) {
        // Closing the port or Stop abandons the rest rather than keep the closer waiting: that
        // ends the send, it does not skip bytes within it.
        if (sendStopped(progress.kind, run)) return WriteEnd::Stopped;
        DWORD written = 0;
        const bool ok = port.write(data + done, static_cast<DWORD>(size - done), &written);
        const DWORD error = ok ? 0 : GetLastError();
        done += written;
        progress.sent += written;
        addSent(written);
        if (!ok && !isTransientPortError(error)) {
            reportPortLost(opening, error);
            return WriteEnd::Failed;
        }
        if (done == size) break;
        // The write ended at its limit (or was cancelled) with bytes left: the device holds the
        // flow. A single send waits on; a loop copy ends its loop.
        if (sendStopped(progress.kind, run)) return WriteEnd::Stopped;
        if (run == SendRun::LoopCopy) return WriteEnd::Stalled;
        // Nothing taken and no time-out waited for: do not spin on such a device.
        if (ok && written == 0) Sleep(kNoProgressPauseMs);
    }
    return WriteEnd::Done;
}

void PortController::recordSendEnd(unsigned opening, const SendProgress& progress, bool finished) {
    CriticalSectionLock lock(sendEndLock);
    if (finished) {
        if (cutSendOpening == opening) cutSendOpening = 0;
        return;
    }
    cutSend = progress;
    cutSendOpening = opening;
}

void PortController::sendFile() {
    fileSendCancel = 0;
    fileSending = 1;
    // A Close that checked fileSending just before it was set has been accepted, and the port is
    // closing: a send that sees its stop flag here does not start, one that sees it later stops
    // before its next chunk.
    if (senderStop || senderExit) {
        fileSending = 0;
        return;
    }
    refreshSendButton();

    const std::string name = copySendFileName();
    if (name.empty()) {
        fileSending = 0;
        refreshSendButton();
        showSenderMessage("File name is invalid!");
        return;
    }
    UniqueFile file(std::fopen(name.c_str(), "rb"));
    if (!file) {
        fileSending = 0;
        refreshSendButton();
        showSenderMessage("File open failed!");
        return;
    }

    // Stop cancels the send; a Close accepted in the gap above, the program's exit and a lost
    // device cut it short too. None of them shows the success message, which says that every
    // byte of the file was accepted.
    const unsigned opening = openings;
    const long long size = _filelengthi64(_fileno(file.get()));
    SendProgress progress{SendProgress::Kind::File, 0, size > 0 ? size : 0};
    WriteEnd end = WriteEnd::Done;
    std::array<std::uint8_t, kFileChunk> block{};
    const size_t chunk = writeChunk(block.size());
    for (;;) {
        const size_t got = std::fread(block.data(), 1, chunk, file.get());
        if (got == 0) break;  // end of file, or a read error (told below)
        end = writeAll(block.data(), got, opening, progress, SendRun::Single);
        if (end != WriteEnd::Done) break;
        Sleep(kFileChunkPauseMs);
    }
    const bool readFailed = end == WriteEnd::Done && std::ferror(file.get()) != 0;
    file.reset();
    recordSendEnd(opening, progress, end == WriteEnd::Done && !readFailed);
    fileSending = 0;
    refreshSendButton();
    if (readFailed) {
        showSenderMessage(fileReadFailedText(progress.sent).c_str());
    } else if (end == WriteEnd::Done && !fileSendCancel && !senderExit) {
        showSenderMessage("File has been sent successfully!");
    }
}

}  // namespace quenlet
