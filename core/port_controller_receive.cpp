// PortController: what happens to each chunk the monitor reads.
#include "core/port_controller.h"
#include "res/resource.h"
#include "settings/port_settings.h"
#include "transmit/hex_text.h"

namespace quenlet {

void PortController::onReceive(const char* chunk, DWORD length) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(chunk);
    std::string display;
    switch (g_settings.receiveMode) {
    case ReceiveMode::Ascii:
        // An edit box cannot hold NUL, so only the NUL bytes themselves are left out of the view:
        // the bytes after one are still shown, and the capture file keeps everything.
        display.reserve(length);
        for (DWORD i = 0; i < length; ++i) {
            if (chunk[i] != '\0') display += chunk[i];
        }
        if (!display.empty()) appendReceivedText(display.c_str());
        if (g_settings.alsoReceiveToFile) writeCapture(chunk, length);
        break;
    case ReceiveMode::Hex:
        appendHexPairs(display, bytes, length);
        appendReceivedText(display.c_str());
        if (g_settings.alsoReceiveToFile) writeCapture(display.data(), display.size());
        break;
    case ReceiveMode::FileOnly:
        writeCapture(chunk, length);
        break;
    }
    bytesReceived += length;
    refreshStatusLine();
}

void PortController::appendReceivedText(const char* text) {
    const HWND box = item(IDC_RECEIVE_BOX);
    const LRESULT end = SendMessageA(box, WM_GETTEXTLENGTH, 0, 0);
    SendMessageA(box, EM_SETSEL, static_cast<WPARAM>(end), end);
    SendMessageA(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

// One write and a flush per chunk, so the file holds everything up to the last chunk even if
// the program ends abruptly.
void PortController::writeCapture(const void* data, size_t size) {
    CriticalSectionLock lock(captureLock);
    if (!captureFile) return;
    std::fwrite(data, 1, size, captureFile.get());
    std::fflush(captureFile.get());
}

}  // namespace quenlet
