// PortController: sending the send box as text or hexadecimal bytes, and sending a file.
#include <io.h>

#include <algorithm>
#include <array>
#include <cstdio>

#include "core/line_timing.h"
#include "core/port_controller.h"
#include "core/port_failure_policy.h"
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
    return writeChunkBytes(openedLine.frame, static_cast<DWORD>(largest), kStopPauseMs);
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
    const unsigned opening = losses.current();
    SendProgress progress{kind, 0, static_cast<std::int64_t>(size)};
    SendEnd end = SendEnd::Done;
    const size_t chunk = writeChunk(kSendChunk);
    for (size_t offset = 0; offset < size && end == SendEnd::Done; offset += chunk) {
        end = writeAll(data + offset, std::min(chunk, size - offset), opening, progress, SendRun::Single);
    }
    sends.recordEnd(opening, progress, end);
    // What went out of a send the user ended is told, so that the far end's share is known.
    if (end == SendEnd::Stopped && !senderExit) postNotice(sendStoppedText(progress));
}

// Sender thread: one copy of a loop, whole, in writes of up to kSendChunk (fewer on a slow line).
// A device that does not take a write's bytes within the write's limit (which grows with their
// line time, so a slow line is not taken for a held one) ends the loop, with one message.
void PortController::sendLoopCopy() {
    std::vector<std::uint8_t> copy;
    SendProgress::Kind kind = SendProgress::Kind::Text;
    if (!sends.takeLoopCopy(copy, kind)) return;
    const unsigned opening = losses.current();
    SendProgress progress{kind, 0, static_cast<std::int64_t>(copy.size())};
    SendEnd end = SendEnd::Done;
    const size_t chunk = writeChunk(kSendChunk);
    for (size_t offset = 0; offset < copy.size() && end == SendEnd::Done; offset += chunk) {
        end = writeAll(copy.data() + offset, std::min(chunk, copy.size() - offset), opening, progress,
                       SendRun::LoopCopy);
    }
    sends.recordEnd(opening, progress, end);
    sends.loopCopyDone();
    if (end != SendEnd::Stalled) return;
    mainDialog->postToWindowThread([this, opening, progress] {
        // Stop, a close or a new opening since then: the loop this copy belonged to is gone.
        if (!losses.isCurrent(opening) || !sends.loopSending()) return;
        mainDialog->KillTimer(kLoopTimerId);
        sends.endLoop();
        refreshDisplay();
        ShowMessage(loopStalledText(progress.sent, progress.total).c_str());
    });
}

bool PortController::sendStopped(SendProgress::Kind kind, SendRun run) const {
    return senderStop || senderExit || sends.stopAsked(kind, run == SendRun::LoopCopy);
}

SendSession::End PortController::writeAll(const std::uint8_t* data, size_t size, unsigned opening,
                                          SendProgress& progress, SendRun run) {
    size_t done = 0;
    while (done < size) {
        // Closing the port or Stop abandons the rest rather than keep the closer waiting: that
        // ends the send, it does not skip bytes within it.
        if (sendStopped(progress.kind, run)) return SendEnd::Stopped;
        DWORD written = 0;
        const bool ok = port.write(data + done, static_cast<DWORD>(size - done), &written);
        const DWORD error = ok ? 0 : GetLastError();
        done += written;
        progress.sent += written;
        addSent(written);
        if (done == size) break;
        const PortFailurePolicy::WriteVerdict verdict = PortFailurePolicy::afterShortWrite(ok, error, written);
        if (verdict.lost) {
            reportPortLost(opening, error);
            return SendEnd::Lost;
        }
        // The write ended at its limit (or was cancelled) with bytes left: the device holds the
        // flow. A single send waits on; a loop copy ends its loop.
        if (sendStopped(progress.kind, run)) return SendEnd::Stopped;
        if (run == SendRun::LoopCopy) return SendEnd::Stalled;
        if (verdict.waitMs > 0) Sleep(verdict.waitMs);
    }
    return SendEnd::Done;
}

void PortController::sendFile() {
    sends.beginFile();
    // A Close that checked fileSending just before it was set has been accepted, and the port is
    // closing: a send that sees its stop flag here does not start, one that sees it later stops
    // before its next chunk.
    if (senderStop || senderExit) {
        sends.endFile();
        return;
    }
    refreshSendButton();

    const std::string name = copySendFileName();
    if (name.empty()) {
        sends.endFile();
        refreshSendButton();
        showSenderMessage("File name is invalid!");
        return;
    }
    UniqueFile file(std::fopen(name.c_str(), "rb"));
    if (!file) {
        sends.endFile();
        refreshSendButton();
        showSenderMessage("File open failed!");
        return;
    }

    // Stop cancels the send; a Close accepted in the gap above, the program's exit and a lost
    // device cut it short too. None of them shows the success message, which says that every
    // byte of the file was accepted.
    const unsigned opening = losses.current();
    const long long size = _filelengthi64(_fileno(file.get()));
    SendProgress progress{SendProgress::Kind::File, 0, size > 0 ? size : 0};
    SendEnd end = SendEnd::Done;
    std::array<std::uint8_t, kFileChunk> block{};
    const size_t chunk = writeChunk(block.size());
    for (;;) {
        const size_t got = std::fread(block.data(), 1, chunk, file.get());
        if (got == 0) break;  // end of file, or a read error (told below)
        end = writeAll(block.data(), got, opening, progress, SendRun::Single);
        if (end != SendEnd::Done) break;
        Sleep(kFileChunkPauseMs);
    }
    if (end == SendEnd::Done && std::ferror(file.get()) != 0) end = SendEnd::ReadFailed;
    file.reset();
    sends.recordEnd(opening, progress, end);
    sends.endFile();
    refreshSendButton();
    if (end == SendEnd::ReadFailed) {
        showSenderMessage(fileReadFailedText(progress.sent).c_str());
    } else if (end == SendEnd::Done && !sends.fileCancelled() && !senderExit) {
        showSenderMessage("File has been sent successfully!");
    }
}

}  // namespace quenlet
