// Checks the compiled resources of the program: each dialog template is created for real and its
// windows are compared with the layout the program's code relies on (ids, classes, texts, styles,
// positions, tab order); menus, toolbar, icon, version record and manifest are loaded and inspected.
#include <windows.h>
// windows.h first: the other Win32 headers build on it.
#include <commctrl.h>
#include <winver.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "res/resource.h"
#include "ui/receive_view.h"

namespace quenlet {
namespace {

HINSTANCE thisModule() { return GetModuleHandleA(nullptr); }

struct WindowDestroyer {
    void operator()(HWND window) const { DestroyWindow(window); }
};
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

struct MenuDestroyer {
    void operator()(HMENU menu) const { DestroyMenu(menu); }
};
using UniqueMenu = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDestroyer>;

struct IconDestroyer {
    void operator()(HICON icon) const { DestroyIcon(icon); }
};
using UniqueIcon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDestroyer>;

struct GdiObjectDeleter {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using UniqueBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;

struct LibraryFreer {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
using UniqueLibrary = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFreer>;

class ScreenDc {
public:
    ScreenDc() : dc_(GetDC(nullptr)) {}
    ~ScreenDc() { ReleaseDC(nullptr, dc_); }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

// GetProcAddress returns a generic pointer; going through void (*)() keeps -Wcast-function-type quiet.
template <typename Function>
Function procedure(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

INT_PTR CALLBACK inertDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG ? TRUE : FALSE; }

UniqueWindow createDialog(int templateId) {
    registerReceiveViewClass(thisModule());  // the main window's receive box
    return UniqueWindow(CreateDialogParamA(thisModule(), MAKEINTRESOURCEA(templateId), nullptr, inertDialogProc, 0));
}

std::string windowText(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string windowClass(HWND window) {
    char name[128] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

DWORD windowStyle(HWND window) { return static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE)); }
DWORD windowExStyle(HWND window) { return static_cast<DWORD>(GetWindowLongPtrA(window, GWL_EXSTYLE)); }

std::vector<HWND> childrenInTemplateOrder(HWND dialog) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

// A rectangle in dialog units, as written in a template.
struct DialogUnits {
    int x, y, width, height;
};

// The dialog manager converts position and size separately, so a right edge is not always the
// converted x + width.
RECT toPixels(HWND dialog, const DialogUnits& units) {
    RECT origin{units.x, units.y, units.width, units.height};
    MapDialogRect(dialog, &origin);
    return RECT{origin.left, origin.top, origin.left + origin.right, origin.top + origin.bottom};
}

RECT rectInClient(HWND dialog, HWND child) {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// The dialog template as stored in the program (DLGTEMPLATEEX), in dialog units.
struct TemplateControl {
    int id;
    DialogUnits place;
};

struct DialogTemplate {
    bool extended = false;
    DialogUnits size{};
    WORD pointSize = 0;
    std::vector<TemplateControl> controls;
};

class TemplateReader {
public:
    explicit TemplateReader(const BYTE* start) : start_(start), at_(start) {}

    WORD word() { return take<WORD>(); }
    DWORD dword() { return take<DWORD>(); }
    short coordinate() { return take<short>(); }
    BYTE byte() { return take<BYTE>(); }

    // A string or an ordinal (0xFFFF followed by the number).
    void skipNameOrOrdinal() {
        const WORD first = word();
        if (first == 0xFFFF) {
            word();
        } else {
            for (WORD c = first; c != 0; c = word()) {
            }
        }
    }
    void alignToDword() {
        while ((at_ - start_) % 4 != 0) ++at_;
    }
    void skip(size_t bytes) { at_ += bytes; }

private:
    template <typename T>
    T take() {
        T value;
        std::memcpy(&value, at_, sizeof value);
        at_ += sizeof value;
        return value;
    }

    const BYTE* start_;
    const BYTE* at_;
};

DialogTemplate readDialogTemplate(int templateId) {
    DialogTemplate result;
    const HRSRC found = FindResourceA(thisModule(), MAKEINTRESOURCEA(templateId), RT_DIALOG);
    if (found == nullptr) return result;
    const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(thisModule(), found)));
    if (bytes == nullptr) return result;

    TemplateReader reader(bytes);
    const WORD version = reader.word();
    const WORD signature = reader.word();
    result.extended = version == 1 && signature == 0xFFFF;
    if (!result.extended) return result;
    reader.dword();  // help id
    reader.dword();  // extended style
    const DWORD style = reader.dword();
    const WORD count = reader.word();
    result.size.x = reader.coordinate();
    result.size.y = reader.coordinate();
    result.size.width = reader.coordinate();
    result.size.height = reader.coordinate();
    reader.skipNameOrOrdinal();  // menu
    reader.skipNameOrOrdinal();  // window class
    reader.skipNameOrOrdinal();  // caption
    if (style & (DS_SETFONT | DS_SHELLFONT)) {
        result.pointSize = reader.word();
        reader.word();  // weight
        reader.byte();  // italic
        reader.byte();  // character set
        reader.skipNameOrOrdinal();
    }
    for (WORD i = 0; i < count; ++i) {
        reader.alignToDword();
        reader.dword();  // help id
        reader.dword();  // extended style
        reader.dword();  // style
        TemplateControl control{};
        control.place.x = reader.coordinate();
        control.place.y = reader.coordinate();
        control.place.width = reader.coordinate();
        control.place.height = reader.coordinate();
        control.id = static_cast<int>(reader.dword());
        reader.skipNameOrOrdinal();  // window class
        reader.skipNameOrOrdinal();  // text
        reader.skip(reader.word());  // creation data
        result.controls.push_back(control);
    }
    return result;
}

// How much of a control's window size to compare in pixels. Sizes the system adjusts are checked in
// the template only: an icon static takes the icon's size, a drop-down list's window is just its
// selection field, an etched line may gain a border.
enum class SizeCheck { Full, PositionOnly, WidthOnly };

struct ExpectedControl {
    int id;
    const char* windowClass;
    const char* text;  // nullptr: the window text is not compared (icon statics)
    DialogUnits place;
    DWORD typeMask;  // the class's style-type field, compared as a whole
    DWORD typeValue;
    DWORD requiredStyle;
    DWORD forbiddenStyle;
    SizeCheck sizeCheck;
};

constexpr DWORD kButtonType = BS_TYPEMASK;
constexpr DWORD kStaticType = SS_TYPEMASK;
constexpr DWORD kComboType = 0x3;  // CBS_SIMPLE, CBS_DROPDOWN, CBS_DROPDOWNLIST
constexpr DWORD kNoType = 0;

// Compares the created controls, in template order, with the expected ones: in the template
// (order, ids, dialog units) and as windows (class, text, styles, position in pixels).
void expectControls(HWND dialog, int templateId, const std::vector<ExpectedControl>& expected) {
    const DialogTemplate stored = readDialogTemplate(templateId);
    ASSERT_TRUE(stored.extended);
    ASSERT_EQ(stored.controls.size(), expected.size());
    const std::vector<HWND> children = childrenInTemplateOrder(dialog);
    ASSERT_EQ(children.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const ExpectedControl& want = expected[i];
        const HWND child = children[i];
        SCOPED_TRACE("control #" + std::to_string(i) + " (id " + std::to_string(want.id) + ")");
        const TemplateControl& item = stored.controls[i];
        EXPECT_EQ(item.id, want.id);
        EXPECT_EQ(item.place.x, want.place.x);
        EXPECT_EQ(item.place.y, want.place.y);
        EXPECT_EQ(item.place.width, want.place.width);
        EXPECT_EQ(item.place.height, want.place.height);

        EXPECT_EQ(GetDlgCtrlID(child), want.id);
        EXPECT_EQ(lstrcmpiA(windowClass(child).c_str(), want.windowClass), 0) << windowClass(child);
        if (want.text != nullptr) {
            EXPECT_EQ(windowText(child), want.text);
        }

        const DWORD style = windowStyle(child);
        EXPECT_EQ(style & want.typeMask, want.typeValue) << std::hex << style;
        EXPECT_EQ(style & want.requiredStyle, want.requiredStyle) << std::hex << style;
        EXPECT_EQ(style & want.forbiddenStyle, 0u) << std::hex << style;
        EXPECT_TRUE(style & WS_CHILD);
        EXPECT_TRUE(style & WS_VISIBLE);

        const RECT wantRect = toPixels(dialog, want.place);
        const RECT actual = rectInClient(dialog, child);
        EXPECT_EQ(actual.left, wantRect.left);
        EXPECT_EQ(actual.top, wantRect.top);
        if (want.sizeCheck != SizeCheck::PositionOnly) {
            EXPECT_EQ(actual.right - actual.left, wantRect.right - wantRect.left);
        }
        if (want.sizeCheck == SizeCheck::Full) {
            EXPECT_EQ(actual.bottom - actual.top, wantRect.bottom - wantRect.top);
        }
    }
}

struct ExpectedDialog {
    const char* caption;
    const char* fontFace;
    int pointSize;
    int width, height;  // dialog units
    DWORD requiredStyle;
    DWORD forbiddenStyle;
    DWORD requiredExStyle;
};

void expectDialog(HWND dialog, int templateId, const ExpectedDialog& want) {
    const DialogTemplate stored = readDialogTemplate(templateId);
    ASSERT_TRUE(stored.extended);
    EXPECT_EQ(stored.size.width, want.width);
    EXPECT_EQ(stored.size.height, want.height);
    EXPECT_EQ(stored.pointSize, want.pointSize);

    EXPECT_EQ(windowText(dialog), want.caption);

    const DWORD style = windowStyle(dialog);
    EXPECT_EQ(style & want.requiredStyle, want.requiredStyle) << std::hex << style;
    EXPECT_EQ(style & want.forbiddenStyle, 0u) << std::hex << style;
    EXPECT_EQ(windowExStyle(dialog) & want.requiredExStyle, want.requiredExStyle) << std::hex << windowExStyle(dialog);

    const auto font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    LOGFONTA logFont{};
    ASSERT_NE(GetObjectA(font, sizeof logFont, &logFont), 0);
    EXPECT_STREQ(logFont.lfFaceName, want.fontFace);
    const ScreenDc screen;
    EXPECT_EQ(logFont.lfHeight, -MulDiv(want.pointSize, GetDeviceCaps(screen.get(), LOGPIXELSY), 72));

    RECT client{};
    GetClientRect(dialog, &client);
    const RECT wantClient = toPixels(dialog, {0, 0, want.width, want.height});
    EXPECT_EQ(client.right, wantClient.right);
    EXPECT_EQ(client.bottom, wantClient.bottom);
}

// Ids of the controls reached by Tab, starting from the first tab stop.
std::vector<int> tabSequence(HWND dialog) {
    std::vector<int> ids;
    const HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
    HWND item = first;
    while (item != nullptr && ids.size() < 64) {
        ids.push_back(GetDlgCtrlID(item));
        item = GetNextDlgTabItem(dialog, item, FALSE);
        if (item == first) break;
    }
    return ids;
}

// Every dialog template is popup, caption and close box; these add to that.
constexpr DWORD kDialogFrame = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kNoResizeOrMinimize = WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;

ExpectedControl staticText(int id, const char* text, DialogUnits place, DWORD type, DWORD required = 0,
                           DWORD forbidden = 0, SizeCheck size = SizeCheck::Full) {
    return {id, "Static", text, place, kStaticType, type, required, forbidden, size};
}

ExpectedControl button(int id, const char* text, DialogUnits place, DWORD type, DWORD required, DWORD forbidden = 0) {
    return {id, "Button", text, place, kButtonType, type, required, forbidden, SizeCheck::Full};
}

ExpectedControl edit(int id, DialogUnits place, DWORD required, DWORD forbidden) {
    return {id, "Edit", "", place, kNoType, 0, required, forbidden, SizeCheck::Full};
}

ExpectedControl receiveView(int id, DialogUnits place, DWORD required, DWORD forbidden) {
    return {id, kReceiveViewClassName, "", place, kNoType, 0, required, forbidden, SizeCheck::Full};
}

// A drop-down list's window is only its selection field; the template height is the opened list's.
ExpectedControl dropDownList(int id, DialogUnits place) {
    return {id, "ComboBox", "", place, kComboType, CBS_DROPDOWNLIST, WS_TABSTOP, CBS_SORT, SizeCheck::WidthOnly};
}

// ---------------------------------------------------------------------------------------------
// Dialog templates

// clang-format off
TEST(ResourceDialogs, AboutTemplate) {
    const UniqueWindow dialog = createDialog(IDD_ABOUT);
    ASSERT_TRUE(dialog);
    expectDialog(dialog.get(), IDD_ABOUT, {"About", "MS Sans Serif", 8, 238, 58,
                                           kDialogFrame | DS_MODALFRAME, WS_VISIBLE | kNoResizeOrMinimize, 0});
    expectControls(dialog.get(), IDD_ABOUT, {
        staticText(IDC_STATIC, nullptr, {7, 7, 20, 20}, SS_ICON, 0, 0, SizeCheck::PositionOnly),
        staticText(IDC_STATIC, "Quenlet 4.1.6", {41, 7, 171, 8}, SS_LEFT, SS_NOPREFIX | WS_GROUP),
        staticText(IDC_STATIC, QUENLET_NOTICE_TEXT, {41, 19, 190, 8}, SS_LEFT, WS_GROUP, SS_NOTIFY),
        staticText(IDC_WEB_LINK, QUENLET_WEB_ADDRESS, {41, 31, 171, 8}, SS_LEFT, WS_GROUP, SS_NOTIFY),
        staticText(IDC_MAIL_LINK, QUENLET_SUPPORT_ADDRESS, {41, 43, 171, 8}, SS_LEFT, WS_GROUP, SS_NOTIFY),
    });
    // The icon static shows the program icon.
    const HWND iconStatic = GetWindow(dialog.get(), GW_CHILD);
    EXPECT_NE(SendMessageA(iconStatic, STM_GETICON, 0, 0), 0);
}

TEST(ResourceDialogs, MainTemplate) {
    const UniqueWindow dialog = createDialog(IDD_MAIN);
    ASSERT_TRUE(dialog);
    expectDialog(dialog.get(), IDD_MAIN, {"Quenlet", "Courier New", 8, 295, 146,
                                          kDialogFrame | DS_MODALFRAME | WS_MINIMIZEBOX | WS_VISIBLE,
                                          WS_MAXIMIZEBOX | WS_THICKFRAME, WS_EX_APPWINDOW});
    EXPECT_TRUE(IsWindowVisible(dialog.get()));
    expectControls(dialog.get(), IDD_MAIN, {
        receiveView(IDC_RECEIVE_BOX, {2, 4, 290, 60},
             ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY | WS_VSCROLL | WS_TABSTOP, WS_HSCROLL | ES_NUMBER),
        edit(IDC_SEND_BOX, {2, 68, 290, 60},
             ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP,
             ES_READONLY | ES_NUMBER),
        staticText(IDC_STATUS_LINE, "Ready", {2, 132, 186, 12}, SS_LEFT, SS_SUNKEN | SS_CENTERIMAGE),
        button(IDC_LOOPS, "Loops", {192, 132, 32, 12}, BS_AUTOCHECKBOX, WS_TABSTOP),
        edit(IDC_LOOP_INTERVAL, {226, 132, 32, 12}, ES_NUMBER | ES_AUTOHSCROLL | WS_TABSTOP,
             ES_MULTILINE | ES_READONLY),
        button(IDC_SEND, "&Send", {261, 132, 32, 12}, BS_PUSHBUTTON, WS_TABSTOP),
    });
    EXPECT_EQ(tabSequence(dialog.get()),
              (std::vector<int>{IDC_RECEIVE_BOX, IDC_SEND_BOX, IDC_LOOPS, IDC_LOOP_INTERVAL, IDC_SEND}));

    // The template brings the main menu with it.
    const HMENU menu = GetMenu(dialog.get());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(GetMenuItemCount(menu), 3);
    EXPECT_EQ(GetMenuState(menu, ID_ALWAYS_ON_TOP, MF_BYCOMMAND) & MF_CHECKED, 0u);
}

TEST(ResourceDialogs, StatusTemplate) {
    const UniqueWindow dialog = createDialog(IDD_STATUS);
    ASSERT_TRUE(dialog);
    expectDialog(dialog.get(), IDD_STATUS, {"", "Tahoma", 8, 168, 60,
                                            kDialogFrame, WS_VISIBLE | kNoResizeOrMinimize, WS_EX_TOOLWINDOW});
    EXPECT_FALSE(IsWindowVisible(dialog.get()));
    EXPECT_EQ(windowExStyle(dialog.get()) & WS_EX_APPWINDOW, 0u);
    const auto box = [](int id, const char* text, DialogUnits place) {
        return button(id, text, place, BS_AUTOCHECKBOX, 0);
    };
    expectControls(dialog.get(), IDD_STATUS, {
        staticText(IDC_STATIC, "", {4, 6, 160, 1}, SS_ETCHEDHORZ, 0, 0, SizeCheck::PositionOnly),
        staticText(IDC_STATIC, "", {4, 28, 160, 1}, SS_ETCHEDHORZ, 0, 0, SizeCheck::PositionOnly),
        staticText(IDC_STATIC, "Modem Status", {9, 2, 49, 8}, SS_CENTER),
        staticText(IDC_STATIC, "Comm Status", {9, 24, 46, 8}, SS_CENTER),
        box(IDC_CTS, "CTS", {5, 14, 30, 8}),
        box(IDC_DSR, "DSR", {39, 14, 30, 8}),
        box(IDC_RING, "RING", {73, 14, 30, 8}),
        box(IDC_RLSD, "RLSD (CD)", {107, 14, 47, 8}),
        box(IDC_CTS_HOLD, "CTS Hold", {5, 36, 43, 8}),
        box(IDC_RLSD_HOLD, "RLSD Hold", {53, 36, 47, 8}),
        box(IDC_XOFF_SENT, "XOFF Send", {105, 36, 59, 8}),
        box(IDC_DSR_HOLD, "DSR Hold", {5, 49, 43, 8}),
        box(IDC_XOFF_HOLD, "XOFF Hold", {53, 49, 47, 8}),
        box(IDC_EOF_RECEIVED, "EOF Received", {105, 49, 59, 8}),
    });
}

TEST(ResourceDialogs, PortSettingsTemplate) {
    const UniqueWindow dialog = createDialog(IDD_PORT_SETTINGS);
    ASSERT_TRUE(dialog);
    expectDialog(dialog.get(), IDD_PORT_SETTINGS, {"Port Settings", "Tahoma", 8, 247, 127,
                                                   kDialogFrame | DS_MODALFRAME, WS_VISIBLE | kNoResizeOrMinimize, 0});
    expectControls(dialog.get(), IDD_PORT_SETTINGS, {
        staticText(IDC_STATIC, "Port number", {8, 7, 42, 8}, SS_LEFT),
        staticText(IDC_STATIC, "Baud rate", {8, 23, 42, 8}, SS_LEFT),
        staticText(IDC_STATIC, "Data bits", {8, 41, 42, 8}, SS_LEFT),
        staticText(IDC_STATIC, "Parity", {8, 58, 42, 8}, SS_LEFT),
        staticText(IDC_STATIC, "Stop bits", {8, 74, 42, 8}, SS_LEFT),
        staticText(IDC_STATIC, "Flow control", {8, 92, 42, 8}, SS_LEFT),
        dropDownList(IDC_PORT_LIST, {54, 5, 186, 122}),
        dropDownList(IDC_BAUD_RATE_LIST, {54, 22, 186, 105}),
        dropDownList(IDC_DATA_BITS_LIST, {54, 39, 186, 88}),
        dropDownList(IDC_PARITY_LIST, {54, 55, 186, 72}),
        dropDownList(IDC_STOP_BITS_LIST, {54, 73, 186, 54}),
        dropDownList(IDC_FLOW_CONTROL_LIST, {54, 90, 186, 50}),
        button(IDC_PORT_SETTINGS_OK, "OK", {190, 107, 50, 14}, BS_PUSHBUTTON, WS_TABSTOP),
    });

    const int lists[] = {IDC_PORT_LIST, IDC_BAUD_RATE_LIST, IDC_DATA_BITS_LIST,
                         IDC_PARITY_LIST, IDC_STOP_BITS_LIST, IDC_FLOW_CONTROL_LIST};
    for (const int id : lists) {
        SCOPED_TRACE("list " + std::to_string(id));
        const HWND combo = GetDlgItem(dialog.get(), id);
        // A list longer than its opened height gets a vertical scroll bar.
        for (int i = 0; i < 40; ++i) SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("COM"));
        COMBOBOXINFO info{};
        info.cbSize = sizeof info;
        ASSERT_TRUE(GetComboBoxInfo(combo, &info));
        EXPECT_TRUE(windowStyle(info.hwndList) & WS_VSCROLL);
    }
    EXPECT_EQ(tabSequence(dialog.get()),
              (std::vector<int>{IDC_PORT_LIST, IDC_BAUD_RATE_LIST, IDC_DATA_BITS_LIST, IDC_PARITY_LIST,
                                IDC_STOP_BITS_LIST, IDC_FLOW_CONTROL_LIST, IDC_PORT_SETTINGS_OK}));
    // Enter must not press OK: the button is not the default one and IDOK is not in the template.
    EXPECT_EQ(GetDlgItem(dialog.get(), IDOK), nullptr);
}

TEST(ResourceDialogs, SendSettingsTemplate) {
    const UniqueWindow dialog = createDialog(IDD_SEND_SETTINGS);
    ASSERT_TRUE(dialog);
    expectDialog(dialog.get(), IDD_SEND_SETTINGS, {"Send Settings", "Tahoma", 8, 200, 82,
                                                   kDialogFrame | DS_MODALFRAME, WS_VISIBLE | kNoResizeOrMinimize, 0});
    expectControls(dialog.get(), IDD_SEND_SETTINGS, {
        button(IDC_SEND_AS_ASCII, "Send as ASCII", {5, 5, 148, 10}, BS_AUTORADIOBUTTON, WS_GROUP, WS_TABSTOP),
        button(IDC_SEND_AS_HEX, "Send as Hex", {5, 18, 148, 10}, BS_AUTORADIOBUTTON, 0, WS_TABSTOP | WS_GROUP),
        button(IDC_SEND_AS_FILE, "Send as File (Will be sent in binary mode)", {5, 31, 148, 10},
               BS_AUTORADIOBUTTON, 0, WS_TABSTOP | WS_GROUP),
        edit(IDC_SEND_FILE_NAME, {5, 44, 189, 12}, ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP,
             ES_MULTILINE),
        button(IDC_SEND_BROWSE, "Send From...", {95, 62, 50, 14}, BS_PUSHBUTTON, WS_TABSTOP),
        button(IDC_SEND_SETTINGS_OK, "OK", {145, 62, 50, 14}, BS_PUSHBUTTON, WS_TABSTOP),
    });
    EXPECT_EQ(tabSequence(dialog.get()),
              (std::vector<int>{IDC_SEND_FILE_NAME, IDC_SEND_BROWSE, IDC_SEND_SETTINGS_OK}));
    EXPECT_EQ(GetDlgItem(dialog.get(), IDOK), nullptr);

    // The three mode buttons are one group: arrow keys move among them and stop at the file name.
    const HWND ascii = GetDlgItem(dialog.get(), IDC_SEND_AS_ASCII);
    EXPECT_EQ(GetNextDlgGroupItem(dialog.get(), ascii, FALSE), GetDlgItem(dialog.get(), IDC_SEND_AS_HEX));
    EXPECT_EQ(GetNextDlgGroupItem(dialog.get(), GetDlgItem(dialog.get(), IDC_SEND_AS_FILE), FALSE), ascii);
}

TEST(ResourceDialogs, ReceiveSettingsTemplate) {
    const UniqueWindow dialog = createDialog(IDD_RECEIVE_SETTINGS);
    ASSERT_TRUE(dialog);
    expectDialog(dialog.get(), IDD_RECEIVE_SETTINGS, {"Receive Settings", "Tahoma", 8, 216, 90,
                                                      kDialogFrame | DS_MODALFRAME, WS_VISIBLE | kNoResizeOrMinimize,
                                                      0});
    expectControls(dialog.get(), IDD_RECEIVE_SETTINGS, {
        button(IDC_RECEIVE_AS_ASCII, "Receive as ASCII", {4, 4, 207, 8}, BS_AUTORADIOBUTTON, WS_GROUP, WS_TABSTOP),
        button(IDC_RECEIVE_AS_HEX, "Receive as Hex", {4, 16, 207, 8}, BS_AUTORADIOBUTTON, 0, WS_TABSTOP | WS_GROUP),
        button(IDC_RECEIVE_FILE_ONLY, "Only receive to  the file (Will be receive in binary mode)", {4, 28, 207, 8},
               BS_AUTORADIOBUTTON, 0, WS_TABSTOP | WS_GROUP),
        edit(IDC_RECEIVE_FILE_NAME, {4, 53, 205, 12}, ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP,
             ES_MULTILINE),
        button(IDC_RECEIVE_BROWSE, "Receive To...", {110, 71, 50, 14}, BS_PUSHBUTTON, WS_TABSTOP),
        button(IDC_RECEIVE_SETTINGS_OK, "OK", {160, 71, 50, 14}, BS_PUSHBUTTON, WS_TABSTOP),
        button(IDC_ALSO_RECEIVE_TO_FILE, "Also receive to  the file (Will be receive in binary mode)",
               {5, 40, 207, 8}, BS_AUTOCHECKBOX, WS_TABSTOP),
    });
    // The check box stands above the file name but is reached last.
    EXPECT_EQ(tabSequence(dialog.get()), (std::vector<int>{IDC_RECEIVE_FILE_NAME, IDC_RECEIVE_BROWSE,
                                                           IDC_RECEIVE_SETTINGS_OK, IDC_ALSO_RECEIVE_TO_FILE}));
    EXPECT_EQ(GetDlgItem(dialog.get(), IDOK), nullptr);
    const HWND fileOnly = GetDlgItem(dialog.get(), IDC_RECEIVE_FILE_ONLY);
    EXPECT_EQ(GetNextDlgGroupItem(dialog.get(), fileOnly, FALSE), GetDlgItem(dialog.get(), IDC_RECEIVE_AS_ASCII));
}
// clang-format on

// ---------------------------------------------------------------------------------------------
// Menus

struct ExpectedItem {
    const char* text;  // nullptr: separator
    UINT id;
};

struct ExpectedPopup {
    const char* text;
    std::vector<ExpectedItem> items;
};

std::string menuItemText(HMENU menu, UINT position) {
    char text[128] = {};
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING;
    info.dwTypeData = text;
    info.cch = sizeof text;
    GetMenuItemInfoA(menu, position, TRUE, &info);
    return text;
}

void expectMenu(HMENU menu, const std::vector<ExpectedPopup>& popups) {
    ASSERT_EQ(GetMenuItemCount(menu), static_cast<int>(popups.size()));
    for (size_t p = 0; p < popups.size(); ++p) {
        SCOPED_TRACE(popups[p].text);
        EXPECT_EQ(menuItemText(menu, static_cast<UINT>(p)), popups[p].text);
        const HMENU popup = GetSubMenu(menu, static_cast<int>(p));
        ASSERT_NE(popup, nullptr);
        const auto& items = popups[p].items;
        ASSERT_EQ(GetMenuItemCount(popup), static_cast<int>(items.size()));
        for (size_t i = 0; i < items.size(); ++i) {
            SCOPED_TRACE("item " + std::to_string(i));
            MENUITEMINFOA info{};
            info.cbSize = sizeof info;
            info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STATE;
            ASSERT_TRUE(GetMenuItemInfoA(popup, static_cast<UINT>(i), TRUE, &info));
            EXPECT_EQ(info.hSubMenu, nullptr);
            if (items[i].text == nullptr) {
                EXPECT_TRUE(info.fType & MFT_SEPARATOR);
                continue;
            }
            EXPECT_FALSE(info.fType & MFT_SEPARATOR);
            EXPECT_EQ(info.wID, items[i].id);
            EXPECT_EQ(menuItemText(popup, static_cast<UINT>(i)), items[i].text);
            EXPECT_EQ(info.fState & (MFS_GRAYED | MFS_CHECKED), 0u);
        }
    }
}

TEST(ResourceMenus, MainMenu) {
    const UniqueMenu menu(LoadMenuA(thisModule(), MAKEINTRESOURCEA(IDR_MAIN_MENU)));
    ASSERT_TRUE(menu);
    expectMenu(menu.get(), {
                               {"&Port",
                                {{"&Open", ID_PORT_OPEN},
                                 {"&Close", ID_PORT_CLOSE},
                                 {"&Settings", ID_PORT_SETTINGS},
                                 {nullptr, 0},
                                 {"&Status", ID_PORT_STATUS},
                                 {nullptr, 0},
                                 {"&Exit", ID_EXIT}}},
                               {"&Options",
                                {{"&Send", ID_SEND_SETTINGS},
                                 {"&Receive", ID_RECEIVE_SETTINGS},
                                 {nullptr, 0},
                                 {"&Always On Top", ID_ALWAYS_ON_TOP}}},
                               {"&Help", {{"&About", ID_HELP_ABOUT}}},
                           });
}

TEST(ResourceMenus, ReceiveContextMenu) {
    const UniqueMenu menu(LoadMenuA(thisModule(), MAKEINTRESOURCEA(IDR_RECEIVE_MENU)));
    ASSERT_TRUE(menu);
    expectMenu(menu.get(), {{"POP_RECV", {{"&Clear", ID_CLEAR_RECEIVE}}}});
}

// ---------------------------------------------------------------------------------------------
// Toolbar

const std::vector<WORD>& expectedToolbarItems() {
    static const std::vector<WORD> items{ID_TOOLBAR_PORT_OPEN,
                                         ID_TOOLBAR_PORT_CLOSE,
                                         ID_TOOLBAR_PORT_SETTINGS,
                                         0,
                                         ID_TOOLBAR_SEND_SETTINGS,
                                         ID_SEND_MODE_ASCII,
                                         ID_SEND_MODE_HEX,
                                         0,
                                         ID_TOOLBAR_RECEIVE_SETTINGS,
                                         ID_RECEIVE_MODE_ASCII,
                                         ID_RECEIVE_MODE_HEX,
                                         0,
                                         ID_TOOLBAR_ABOUT};
    return items;
}

std::vector<WORD> toolbarTable() {
    const HRSRC found = FindResourceA(thisModule(), MAKEINTRESOURCEA(IDR_TOOLBAR), MAKEINTRESOURCEA(RT_TOOLBAR_TYPE));
    if (found == nullptr) return {};
    const DWORD size = SizeofResource(thisModule(), found);
    const auto* words = static_cast<const WORD*>(LockResource(LoadResource(thisModule(), found)));
    if (words == nullptr) return {};
    return std::vector<WORD>(words, words + size / sizeof(WORD));
}

TEST(ResourceToolbar, ButtonTableListsCommandsInOrder) {
    const std::vector<WORD> table = toolbarTable();
    ASSERT_EQ(table.size(), 4u + TOOLBAR_ITEM_COUNT);
    EXPECT_EQ(table[0], TOOLBAR_DATA_VERSION);
    EXPECT_EQ(table[1], 16);
    EXPECT_EQ(table[2], 15);
    EXPECT_EQ(table[3], TOOLBAR_ITEM_COUNT);
    EXPECT_EQ(std::vector<WORD>(table.begin() + 4, table.end()), expectedToolbarItems());
}

// The strips of the toolbar's images, one per screen scale: 100 % (the button table's own bitmap),
// 125, 150 and 200 %.
struct ToolbarStrip {
    int bitmapId;
    int imageWidth;
    int imageHeight;
};
constexpr ToolbarStrip kToolbarStrips[] = {
    {IDR_TOOLBAR, TOOLBAR_IMAGE_WIDTH, TOOLBAR_IMAGE_HEIGHT},
    {IDB_TOOLBAR_125, TOOLBAR_125_IMAGE_WIDTH, TOOLBAR_125_IMAGE_HEIGHT},
    {IDB_TOOLBAR_150, TOOLBAR_150_IMAGE_WIDTH, TOOLBAR_150_IMAGE_HEIGHT},
    {IDB_TOOLBAR_200, TOOLBAR_200_IMAGE_WIDTH, TOOLBAR_200_IMAGE_HEIGHT},
};

TEST(ResourceToolbar, EachStripHoldsTenDistinctImagesOfItsSize) {
    static_assert(TOOLBAR_IMAGE_WIDTH == 16 && TOOLBAR_IMAGE_HEIGHT == 15, "the 100 % images are 16 x 15");
    for (const ToolbarStrip& strip : kToolbarStrips) {
        SCOPED_TRACE(strip.bitmapId);
        const UniqueBitmap bitmap(static_cast<HBITMAP>(LoadImageA(
            thisModule(), MAKEINTRESOURCEA(strip.bitmapId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
        ASSERT_TRUE(bitmap);
        BITMAP info{};
        ASSERT_NE(GetObjectA(bitmap.get(), sizeof info, &info), 0);
        const int width = strip.imageWidth * TOOLBAR_IMAGE_COUNT;
        const int height = strip.imageHeight;
        EXPECT_EQ(info.bmWidth, width);
        EXPECT_EQ(info.bmHeight, height);

        // Read the pixels top-down as 32-bit values and compare the ten cells.
        BITMAPINFO request{};
        request.bmiHeader.biSize = sizeof request.bmiHeader;
        request.bmiHeader.biWidth = width;
        request.bmiHeader.biHeight = -height;
        request.bmiHeader.biPlanes = 1;
        request.bmiHeader.biBitCount = 32;
        request.bmiHeader.biCompression = BI_RGB;
        std::vector<DWORD> pixels(static_cast<size_t>(width) * height);
        const ScreenDc screen;
        ASSERT_EQ(GetDIBits(screen.get(), bitmap.get(), 0, height, pixels.data(), &request, DIB_RGB_COLORS), height);

        const DWORD background = pixels[0] & 0xFFFFFF;
        EXPECT_EQ(background, 0xC0C0C0u);  // the colour the toolbar maps to the button face
        const auto cell = [&](int index) {
            std::vector<DWORD> image;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < strip.imageWidth; ++x)
                    image.push_back(pixels[y * width + index * strip.imageWidth + x] & 0xFFFFFF);
            return image;
        };
        for (int i = 0; i < TOOLBAR_IMAGE_COUNT; ++i) {
            const std::vector<DWORD> image = cell(i);
            int drawn = 0;
            for (const DWORD pixel : image) drawn += pixel != background;
            // As much of each image drawn as of the smallest at 100 %, grown with its area.
            EXPECT_GE(drawn, 30 * strip.imageWidth * strip.imageHeight / (16 * 15)) << "image " << i << " is nearly empty";
            for (int j = 0; j < i; ++j) EXPECT_NE(image, cell(j)) << "images " << j << " and " << i << " are equal";
        }
    }
}

TEST(ResourceToolbar, BackgroundBecomesButtonFace) {
    // The toolbar loads the strip with its grey background replaced by the button-face colour.
    const UniqueBitmap mapped(CreateMappedBitmap(thisModule(), IDR_TOOLBAR, 0, nullptr, 0));
    ASSERT_TRUE(mapped);
    BITMAP info{};
    ASSERT_NE(GetObjectA(mapped.get(), sizeof info, &info), 0);
    EXPECT_EQ(info.bmWidth, 160);
    EXPECT_EQ(info.bmHeight, 15);

    BITMAPINFO request{};
    request.bmiHeader.biSize = sizeof request.bmiHeader;
    request.bmiHeader.biWidth = 160;
    request.bmiHeader.biHeight = -15;
    request.bmiHeader.biPlanes = 1;
    request.bmiHeader.biBitCount = 32;
    request.bmiHeader.biCompression = BI_RGB;
    std::vector<DWORD> pixels(160 * 15);
    const ScreenDc screen;
    ASSERT_EQ(GetDIBits(screen.get(), mapped.get(), 0, 15, pixels.data(), &request, DIB_RGB_COLORS), 15);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const DWORD faceAsPixel = (GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face);
    EXPECT_EQ(pixels[0] & 0xFFFFFF, faceAsPixel);
}

TEST(ResourceToolbar, LoadsIntoCommonControlsToolbar) {
    INITCOMMONCONTROLSEX init{sizeof init, ICC_BAR_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&init));
    const UniqueWindow owner = createDialog(IDD_STATUS);
    ASSERT_TRUE(owner);
    const UniqueWindow toolbar(CreateWindowExA(0, TOOLBARCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT, 0, 0, 0,
                                               0, owner.get(), reinterpret_cast<HMENU>(IDW_TOOLBAR), thisModule(),
                                               nullptr));
    ASSERT_TRUE(toolbar);
    const HWND bar = toolbar.get();
    SendMessageA(bar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);

    const std::vector<WORD> table = toolbarTable();
    ASSERT_EQ(table.size(), 4u + TOOLBAR_ITEM_COUNT);
    SendMessageA(bar, TB_SETBITMAPSIZE, 0, MAKELPARAM(table[1], table[2]));
    TBADDBITMAP strip{thisModule(), IDR_TOOLBAR};
    EXPECT_EQ(SendMessageA(bar, TB_ADDBITMAP, TOOLBAR_IMAGE_COUNT, reinterpret_cast<LPARAM>(&strip)), 0);

    std::vector<TBBUTTON> buttons;
    int image = 0;
    for (size_t i = 4; i < table.size(); ++i) {
        TBBUTTON button{};
        if (table[i] == 0) {
            button.fsStyle = BTNS_SEP;
        } else {
            button.iBitmap = image++;
            button.idCommand = table[i];
            button.fsState = TBSTATE_ENABLED;
            button.fsStyle = BTNS_BUTTON;
        }
        buttons.push_back(button);
    }
    EXPECT_EQ(image, TOOLBAR_IMAGE_COUNT);
    ASSERT_TRUE(SendMessageA(bar, TB_ADDBUTTONSA, buttons.size(), reinterpret_cast<LPARAM>(buttons.data())));
    EXPECT_EQ(SendMessageA(bar, TB_BUTTONCOUNT, 0, 0), TOOLBAR_ITEM_COUNT);
    EXPECT_EQ(SendMessageA(bar, TB_COMMANDTOINDEX, ID_TOOLBAR_PORT_OPEN, 0), 0);
    EXPECT_EQ(SendMessageA(bar, TB_COMMANDTOINDEX, ID_TOOLBAR_ABOUT, 0), 12);
    TBBUTTON last{};
    ASSERT_TRUE(SendMessageA(bar, TB_GETBUTTON, 12, reinterpret_cast<LPARAM>(&last)));
    EXPECT_EQ(last.iBitmap, 9);
}

// ---------------------------------------------------------------------------------------------
// Icon

TEST(ResourceIcon, HoldsEachSizeExactly) {
    const HRSRC group = FindResourceA(thisModule(), MAKEINTRESOURCEA(IDI_MAIN), RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    auto* directory = static_cast<BYTE*>(LockResource(LoadResource(thisModule(), group)));
    ASSERT_NE(directory, nullptr);
    for (const int size : {16, 24, 32, 48}) {
        SCOPED_TRACE("size " + std::to_string(size));
        // The image the system picks for this size must be drawn at exactly this size.
        const int iconId = LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR);
        ASSERT_NE(iconId, 0);
        const HRSRC image = FindResourceA(thisModule(), MAKEINTRESOURCEA(iconId), RT_ICON);
        ASSERT_NE(image, nullptr);
        const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(thisModule(), image)));
        ASSERT_NE(header, nullptr);
        EXPECT_EQ(header->biWidth, size);
        EXPECT_EQ(header->biHeight, 2 * size);  // colour and mask

        const UniqueIcon icon(static_cast<HICON>(
            LoadImageA(thisModule(), MAKEINTRESOURCEA(IDI_MAIN), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
        ASSERT_TRUE(icon);
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon.get(), &info));
        const UniqueBitmap colour(info.hbmColor);
        const UniqueBitmap mask(info.hbmMask);
        BITMAP bits{};
        ASSERT_NE(GetObjectA(colour.get(), sizeof bits, &bits), 0);
        EXPECT_EQ(bits.bmWidth, size);
        EXPECT_EQ(bits.bmHeight, size);
    }
}

// ---------------------------------------------------------------------------------------------
// Version record and manifest

TEST(ResourceVersion, NamesProductAndVersion) {
    const UniqueLibrary versionDll(LoadLibraryA("version.dll"));
    ASSERT_TRUE(versionDll);
    using SizeFunction = DWORD(WINAPI*)(LPCSTR, LPDWORD);
    using InfoFunction = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
    using QueryFunction = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);
    const auto infoSize = procedure<SizeFunction>(versionDll.get(), "GetFileVersionInfoSizeA");
    const auto info = procedure<InfoFunction>(versionDll.get(), "GetFileVersionInfoA");
    const auto query = procedure<QueryFunction>(versionDll.get(), "VerQueryValueA");
    ASSERT_TRUE(infoSize && info && query);

    char path[MAX_PATH] = {};
    ASSERT_NE(GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
    DWORD ignored = 0;
    const DWORD size = infoSize(path, &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(info(path, 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(query(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwProductVersionMS, static_cast<DWORD>(MAKELONG(1, 4)));
    EXPECT_EQ(fixed->dwProductVersionLS, static_cast<DWORD>(MAKELONG(0, 6)));
    EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(1, 4)));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    struct Translation {
        WORD language, codePage;
    }* translation = nullptr;
    ASSERT_TRUE(query(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    ASSERT_GE(length, sizeof *translation);
    char prefix[64];
    wsprintfA(prefix, "\\StringFileInfo\\%04x%04x\\", translation->language, translation->codePage);
    const auto text = [&](const char* name) {
        char* value = nullptr;
        UINT valueLength = 0;
        const std::string key = std::string(prefix) + name;
        if (!query(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &valueLength) || value == nullptr)
            return std::string("<missing>");
        return std::string(value);
    };
    EXPECT_EQ(text("ProductName"), "Quenlet");
    EXPECT_EQ(text("ProductVersion"), "4.1.6");
    EXPECT_EQ(text("FileVersion"), "4.1.6");
}

TEST(ResourceManifest, AsksForCommonControlsSixAndSystemDpi) {
    const HRSRC found = FindResourceA(thisModule(), CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST);
    ASSERT_NE(found, nullptr);
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(thisModule(), found)));
    ASSERT_NE(bytes, nullptr);
    const std::string manifest(bytes, SizeofResource(thisModule(), found));
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find(">system</dpiAwareness>"), std::string::npos);

    // The loader applied it to this process: the common controls this program calls are version 6.
    HMODULE commonControls = nullptr;
    ASSERT_TRUE(
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCSTR>(&InitCommonControlsEx), &commonControls));
    char path[MAX_PATH] = {};
    ASSERT_NE(GetModuleFileNameA(commonControls, path, MAX_PATH), 0u);
    CharLowerA(path);
    EXPECT_NE(std::string(path).find("microsoft.windows.common-controls_6595b64144ccf1df_6."), std::string::npos)
        << path;
    EXPECT_TRUE(IsProcessDPIAware());
}

}  // namespace
}  // namespace quenlet
