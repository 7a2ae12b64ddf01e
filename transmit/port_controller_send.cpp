// PortController: sending the send box as text or hexadecimal bytes, and sending a file.
#include <array>
#include <cstdio>

#include "core/port_controller.h"
#include "framework/dialog.h"
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
    for (size_t offset = 0; offset < text.size(); offset += kSendChunk) {
        // Closing the port abandons the rest of a long text rather than keep the closer waiting.
        if (senderStop) break;
        const DWORD size = static_cast<DWORD>(std::min(kSendChunk, text.size() - offset));
        DWORD written = 0;
        port.write(text.data() + offset, size, &written);
        addSent(written);
    }
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
    for (size_t offset = 0; offset < bytes.size(); offset += kSendChunk) {
        if (senderStop) break;
        const DWORD size = static_cast<DWORD>(std::min(kSendChunk, bytes.size() - offset));
        DWORD written = 0;
        port.write(bytes.data() + offset, size, &written);
        addSent(written);
    }
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

    // Stop cancels the send; a Close accepted in the gap above and the program's exit cut it short
    // too. Each ends it silently, with the file closed and the device left for the closer.
    bool stopped = false;
    std::array<char, kFileChunk> block{};
    for (;;) {
        const size_t got = std::fread(block.data(), 1, block.size(), file.get());
        if (got == 0) break;  // end of file, or a read error taken as the end
        if (fileSendCancel || senderStop || senderExit) {
            stopped = true;
            break;
        }
        DWORD written = 0;
        port.write(block.data(), static_cast<DWORD>(got), &written);
        Sleep(kFileChunkPauseMs);
        addSent(written);
    }
    file.reset();
    fileSending = 0;
    refreshSendButton();
    if (!stopped && !fileSendCancel && !senderExit) showSenderMessage("File has been sent successfully!");
}

}  // namespace quenlet
