#include "ui/receive_view.h"

#include <cstring>
#include <new>

#include "ui/receive_view_control.h"

namespace quenlet {
namespace {

// The control object lives in the window's first extra slot.
constexpr int kControlSlot = 0;

ReceiveViewControl* controlOf(HWND window) {
    return reinterpret_cast<ReceiveViewControl*>(GetWindowLongPtrA(window, kControlSlot));
}

LRESULT CALLBACK receiveViewProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* const control = new (std::nothrow) ReceiveViewControl(window);
        if (control == nullptr) return FALSE;
        SetWindowLongPtrA(window, kControlSlot, reinterpret_cast<LONG_PTR>(control));
        return DefWindowProcA(window, message, wParam, lParam);
    }
    ReceiveViewControl* const control = controlOf(window);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, kControlSlot, 0);
        delete control;
        return DefWindowProcA(window, message, wParam, lParam);
    }
    if (control == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    return control->handleMessage(message, wParam, lParam);
}

bool isReceiveView(HWND window) {
    char name[sizeof(kReceiveViewClassName) + 1] = {};
    return GetClassNameA(window, name, sizeof(name)) > 0 && std::strcmp(name, kReceiveViewClassName) == 0;
}

}  // namespace

bool registerReceiveViewClass(HINSTANCE instance) {
    WNDCLASSEXA existing{};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExA(instance, kReceiveViewClassName, &existing)) return true;

    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    // Double clicks: the view selects words, and the dialog's pre-filter watches right double clicks.
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = receiveViewProcedure;
    windowClass.cbWndExtra = sizeof(ReceiveViewControl*);
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_IBEAM));
    windowClass.hbrBackground = nullptr;  // painted whole in WM_PAINT, without a flickering erase
    windowClass.lpszClassName = kReceiveViewClassName;
    return RegisterClassExA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool readReceiveViewDiagnostics(HWND view, ReceiveViewDiagnostics& diagnostics) {
    if (!isReceiveView(view)) return false;
    const ReceiveViewControl* const control = controlOf(view);
    if (control == nullptr) return false;
    diagnostics = control->diagnostics();
    return true;
}

}  // namespace quenlet
