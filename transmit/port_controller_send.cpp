// PortController: sending the send box as text or hexadecimal bytes, and sending a file.
#include <io.h>

#include <algorithm>
#include <array>
#include <cstdio>

#include "core/port_controller.h"
#include "core/port_errors.h"
#include "core/port_notices.h"
#include "framework/dialog.h"
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

// The send box's text, read on the window thread whichever thread asks. Wine 10 passes the buffer
// of a WM_GETTEXT sent from another thread through the window thread's stack, and such a message
// whose buffer outgrows that stack never returns: a large send box would send nothing.
std::string sendBoxText(const Dialog& dialog) {
    std::string text;
    auto read = [&] { text = boxText(dialog.item(IDC_SEND_BOX)); };
    dialog.runOnWindowThread(read);
    return text;
}

}  // namespace

std::string PortController::removeBlanks(std::string_view text) { return quenlet::removeBlanks(text); }

bool PortController::isHexDigits(std::string_view text) { return quenlet::isHexDigits(text); }

bool PortController::isLoopChecked() const {
    return IsDlgButtonChecked(mainDialog->hwnd(), IDC_LOOPS) != 0;
}

void PortController::addSent(DWORD count) {
    bytesSent += count;
    refreshStatusLine();
}

void PortController::sendText() {
    const std::string text = sendBoxText(*mainDialog);
    sendBytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), SendProgress::Kind::Text);
}

void PortController::sendHex() {
    const std::string text = sendBoxText(*mainDialog);
    if (text.empty()) {
        refreshSendButton();
        return;
    }
    const std::string digits = removeBlanks(text);
    if (!isHexDigits(digits)) {
        SetWindowTextA(item(IDC_RECEIVE_BOX), "Your sendding data is invalid hexadecimal string!\r\n");
        refreshSendButton();
        return;
    }
    // The status line only changes when a write adds to the counter, so it is refreshed per write
    // rather than per converted byte.
    const std::vector<std::uint8_t> bytes = hexDigitsToBytes(digits);
    sendBytes(bytes.data(), bytes.size(), SendProgress::Kind::Hex);
}

// The send box's bytes in writes of up to kSendChunk: on the sender thread every byte goes out
// however long the device holds the flow; on a loop tick the window thread never waits longer
// than one write limit.
void PortController::sendBytes(const std::uint8_t* data, size_t size, SendProgress::Kind kind) {
    if (size == 0) return;
    const unsigned opening = openings;
    const bool loopTick = onWindowThread();
    SendProgress progress{kind, 0, static_cast<std::int64_t>(size)};
    for (size_t offset = 0; offset < size; offset += kSendChunk) {
        const size_t chunk = std::min(kSendChunk, size - offset);
        const WriteEnd end = loopTick ? writeOnce(data + offset, chunk, opening, progress)
                                      : writeAll(data + offset, chunk, opening, progress);
        if (end != WriteEnd::Done) {
            recordSendEnd(opening, progress, false);
            return;
        }
    }
    recordSendEnd(opening, progress, true);
}

bool PortController::sendStopped(SendProgress::Kind kind) const {
    return senderStop || senderExit || (kind == SendProgress::Kind::File && fileSendCancel);
}

PortController::WriteEnd PortController::writeAll(const std::uint8_t* data, size_t size, unsigned opening,
                                                  SendProgress& progress) {
    size_t done = 0;
    while (done < size) {
        // Closing the port (or Stop, for a file) abandons the rest rather than keep the closer
        // waiting: that ends the send, it does not skip bytes within it.
        if (sendStopped(progress.kind)) return WriteEnd::Stopped;
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
        // Nothing taken and no time-out waited for: do not spin on such a device.
        if (ok && written == 0) Sleep(kNoProgressPauseMs);
    }
    return WriteEnd::Done;
}

PortController::WriteEnd PortController::writeOnce(const std::uint8_t* data, size_t size, unsigned opening,
                                                   SendProgress& progress) {
    DWORD written = 0;
    const bool ok = port.write(data, static_cast<DWORD>(size), &written);
    const DWORD error = ok ? 0 : GetLastError();
    progress.sent += written;
    addSent(written);
    if (written == size) return WriteEnd::Done;
    if (!ok && !isTransientPortError(error)) {
        reportPortLost(opening, error);
        return WriteEnd::Failed;
    }
    // The device held the flow for a whole write limit. Ticks would keep the window waiting that
    // long each: the loop ends, with one message (the timer is gone, so no tick repeats it).
    mainDialog->KillTimer(kLoopTimerId);
    loopSending = 0;
    refreshDisplay();
    postNotice(loopStalledText(progress.sent, progress.total));
    return WriteEnd::Stalled;
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
    for (;;) {
        const size_t got = std::fread(block.data(), 1, block.size(), file.get());
        if (got == 0) break;  // end of file, or a read error (told below)
        end = writeAll(block.data(), got, opening, progress);
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
