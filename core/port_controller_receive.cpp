// PortController: what happens to each chunk the monitor reads.
#include <algorithm>

#include "core/port_controller.h"
#include "core/port_notices.h"
#include "framework/dialog.h"
#include "res/resource.h"
#include "settings/port_settings.h"
#include "transmit/hex_text.h"

namespace quenlet {

void PortController::onReceive(const char* data, DWORD length) {
    // Each chunk's display text is made and its capture written before the window shows it: once
    // the status line counts a chunk, the file holds it.
    std::array<ReceivedChunk, kChunksPerRead> chunks;
    std::size_t chunkCount = 0;
    for (DWORD offset = 0; offset < length && chunkCount < chunks.size(); offset += kReadChunk) {
        ReceivedChunk& chunk = chunks[chunkCount++];
        chunk.length = std::min(kReadChunk, length - offset);
        prepareChunk(data + offset, chunk);
    }
    // One hand-over to the window thread for all of them. The count grows with each chunk's append,
    // so whoever sees a count also sees its chunks in the receive box; the status line shows the
    // count once they are all in.
    DWORD shown = 0;
    auto show = [&] {
        for (std::size_t i = 0; i < chunkCount; ++i) {
            if (!chunks[i].text.empty()) appendToReceiveBox(chunks[i].text.c_str());
            bytesReceived += chunks[i].length;
            shown += chunks[i].length;
        }
        refreshCounters();
    };
    mainDialog->runOnWindowThread(show);
    ++handOvers;
    bytesReceived += length - shown;  // counted even when the window is gone
}

void PortController::prepareChunk(const char* bytes, ReceivedChunk& chunk) {
    std::string& display = chunk.text;
    display.clear();
    switch (g_settings.receiveMode) {
    case ReceiveMode::Ascii:
        // An edit box cannot hold NUL, so only the NUL bytes themselves are left out of the view:
        // the bytes after one are still shown, and the capture file keeps everything.
        display.reserve(chunk.length);
        for (DWORD i = 0; i < chunk.length; ++i) {
            if (bytes[i] != '\0') display += bytes[i];
        }
        if (g_settings.alsoReceiveToFile) writeCapture(bytes, chunk.length, 1);
        break;
    case ReceiveMode::Hex:
        appendHexPairs(display, reinterpret_cast<const std::uint8_t*>(bytes), chunk.length);
        if (g_settings.alsoReceiveToFile) writeCapture(display.data(), display.size(), 3);
        break;
    case ReceiveMode::FileOnly:
        writeCapture(bytes, chunk.length, 1);
        break;
    }
}

void PortController::appendReceivedText(const char* text) {
    auto append = [&] { appendToReceiveBox(text); };
    mainDialog->runOnWindowThread(append);
}

// On the window thread the three steps follow each other with nothing between them: a selection
// the user makes can never be what the text replaces.
void PortController::appendToReceiveBox(const char* text) {
    const HWND box = item(IDC_RECEIVE_BOX);
    const LRESULT end = SendMessageA(box, WM_GETTEXTLENGTH, 0, 0);
    SendMessageA(box, EM_SETSEL, static_cast<WPARAM>(end), end);
    SendMessageA(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

// One write per chunk, on its way to the disk when it returns, so the file holds everything up to
// the last chunk even if the program ends abruptly. A file that lost bytes is closed and the user
// told, once: it stays closed, whatever the display refreshes, until the receive settings are
// confirmed (retryCapture). charsPerByte: how many of the written characters stand for one
// received byte (3 for hex pairs), so that the message counts received bytes.
void PortController::writeCapture(const void* data, size_t size, size_t charsPerByte) {
    CriticalSectionLock lock(captureLock);
    if (!captureFile) return;
    size_t written = 0;
    if (captureFile.append(data, size, &written)) return;
    const size_t notCaptured = size / charsPerByte - written / charsPerByte;
    postNotice(captureWriteFailedText(captureFile.path(), formatSystemError(captureFile.lastError()), notCaptured));
    captureFile.close();
    captureHeld = true;
}

void PortController::reopenCapture() {
    CriticalSectionLock lock(captureLock);
    if (captureHeld) return;
    if (captureFile.open(g_settings.receiveFileName) || quietCaptureOpen) return;
    postNotice(captureOpenFailedText(captureFile.path(), formatSystemError(captureFile.lastError())));
}

void PortController::retryCapture() {
    CriticalSectionLock lock(captureLock);
    captureHeld = false;
}

}  // namespace quenlet
