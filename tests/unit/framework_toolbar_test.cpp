// The toolbar wrapper: the TOOLBAR resource format, button states and the tooltip-text requests
// that must reach the parent dialog's message table.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "framework/dialog.h"
#include "framework/message_table.h"
#include "framework/text_format.h"
#include "framework/toolbar.h"
#include "framework/toolbar_resource.h"
#include "res/resource.h"
#include "tests/unit/framework_test_support.h"
#include "ui/toolbar_strips.h"

namespace quenlet::test {
namespace {

// The program's layout: 13 positions, separators as 0.
constexpr std::array<UINT, 13> kCommandIds{1051, 1053, 1067, 0,    1055, 1057, 1059,
                                           0,    1061, 32774, 1068, 0,   32772};

std::vector<WORD> toolBarResourceWords() {
    std::vector<WORD> words{1, 16, 15, WORD(kCommandIds.size())};
    for (const UINT id : kCommandIds) words.push_back(WORD(id));
    return words;
}

TEST(FrameworkToolBarResource, ParsesVersionImageSizeAndCommandIds) {
    const std::vector<WORD> words = toolBarResourceWords();
    const auto layout = parseToolBarResource(words.data(), words.size() * sizeof(WORD));
    ASSERT_TRUE(layout.has_value());
    EXPECT_EQ(layout->imageSize.cx, 16);
    EXPECT_EQ(layout->imageSize.cy, 15);
    EXPECT_EQ(layout->commandIds, std::vector<UINT>(kCommandIds.begin(), kCommandIds.end()));
}

TEST(FrameworkToolBarResource, RejectsOtherVersionsAndTruncatedData) {
    std::vector<WORD> words = toolBarResourceWords();
    EXPECT_FALSE(parseToolBarResource(words.data(), (words.size() - 1) * sizeof(WORD)).has_value());
    EXPECT_FALSE(parseToolBarResource(words.data(), 3 * sizeof(WORD)).has_value());
    EXPECT_FALSE(parseToolBarResource(nullptr, 0).has_value());
    words[0] = 2;
    EXPECT_FALSE(parseToolBarResource(words.data(), words.size() * sizeof(WORD)).has_value());
}

// A strip of ten 16x15 images, as the program's bitmap has.
UniqueBitmap makeImageStrip() {
    const HDC screen = GetDC(nullptr);
    UniqueBitmap strip(CreateCompatibleBitmap(screen, 160, 15));
    ReleaseDC(nullptr, screen);
    return strip;
}

// Answers tooltip-text requests through its message table, as the main window does.
class ToolBarHostDialog : public GuardedDialog {
public:
    static constexpr UINT_PTR kPollTimer = 5;

    explicit ToolBarHostDialog(const DLGTEMPLATE* dialogTemplate) : GuardedDialog(dialogTemplate) {}

    // Set before a modal run: create the toolbar and hover over its first button.
    bool hoverDuringRun = false;
    ToolBar toolBar;
    std::vector<UINT> requestedIds;
    std::vector<HWND> requestFrom;

    bool buildToolBar() {
        return toolBar.create(hwnd()) &&
               toolBar.setButtons(makeImageStrip(), SIZE{16, 15}, kCommandIds);
    }

    // The text of the tooltip window once it showed during a hovering run.
    std::string shownTip;

    BOOL OnInitDialog() override {
        GuardedDialog::OnInitDialog();
        if (hoverDuringRun) {
            buildToolBar();
            PostMessageA(hwnd(), WM_APP, 0, 0);
            SetTimer(kPollTimer, 20);
        }
        return TRUE;
    }

    BOOL PreTranslateMessage(MSG* message) override {
        if (message->message == WM_APP && message->hwnd == hwnd()) {
            hoverOverFirstButton();
            return TRUE;
        }
        if (message->message == WM_TIMER && message->hwnd == hwnd() && message->wParam == kPollTimer) {
            // Done once the tooltip is up with a text.
            const HWND tip = toolBar.toolTips();
            if (IsWindowVisible(tip) && GetWindowTextLengthA(tip) > 0) {
                shownTip = windowText(tip);
                EndDialog(IDOK);
            }
            return TRUE;
        }
        return GuardedDialog::PreTranslateMessage(message);
    }

private:
    void hoverOverFirstButton() const {
        RECT button{};
        SendMessageA(toolBar.hwnd(), TB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&button));
        POINT centre{(button.left + button.right) / 2, (button.top + button.bottom) / 2};
        POINT onScreen = centre;
        ClientToScreen(toolBar.hwnd(), &onScreen);
        SetCursorPos(onScreen.x, onScreen.y);
        // The toolbar relays its mouse moves to its tooltip window, which then asks for the text.
        PostMessageA(toolBar.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(centre.x, centre.y));
    }

    BOOL OnToolTipText(NMHDR* header, LRESULT* result) {
        requestedIds.push_back(static_cast<UINT>(header->idFrom));
        requestFrom.push_back(header->hwndFrom);
        auto* const info = reinterpret_cast<NMTTDISPINFOA*>(header);
        info->lpszText = const_cast<char*>(header->idFrom == 1051 ? "Open" : "");
        *result = 0;
        return TRUE;
    }

    QUENLET_MESSAGE_TABLE(ToolBarHostDialog)
};

const MessageTable<ToolBarHostDialog> ToolBarHostDialog::messageTable_ = {
    onNotify(TTN_GETDISPINFOA, &ToolBarHostDialog::OnToolTipText),
};

DialogTemplateBuilder hostTemplate(DWORD visibility) {
    DialogTemplateBuilder builder(kPopupDialogStyle | visibility, 200, 100, "Toolbar host");
    builder.add(ControlClass::Edit, 1000, "", WS_BORDER, 2, 40, 190, 50);  // below the toolbar
    return builder;
}

class ToolBarTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.Create(nullptr));
        ASSERT_TRUE(host.buildToolBar());
    }
    void TearDown() override { drainMessages(); }

    DialogTemplateBuilder builder = hostTemplate(0);
    ToolBarHostDialog host{builder.get()};
    ToolBar& toolBar = host.toolBar;
};

TEST_F(ToolBarTest, IsAChildOfTheDialogWithAllPositionsAndTheControlBarId) {
    EXPECT_EQ(GetParent(toolBar.hwnd()), host.hwnd());
    EXPECT_EQ(GetDlgCtrlID(toolBar.hwnd()), 0xE800);
    EXPECT_EQ(toolBar.buttonCount(), 13);
    EXPECT_NE(GetWindowLongA(toolBar.hwnd(), GWL_STYLE) & TBSTYLE_TOOLTIPS, 0);
    EXPECT_NE(GetWindowLongA(toolBar.hwnd(), GWL_STYLE) & TBSTYLE_FLAT, 0);
    EXPECT_NE(toolBar.toolTips(), nullptr);

    TBBUTTON fourth{};
    ASSERT_TRUE(SendMessageA(toolBar.hwnd(), TB_GETBUTTON, 3, reinterpret_cast<LPARAM>(&fourth)));
    EXPECT_NE(fourth.fsStyle & TBSTYLE_SEP, 0);
    TBBUTTON last{};
    ASSERT_TRUE(SendMessageA(toolBar.hwnd(), TB_GETBUTTON, 12, reinterpret_cast<LPARAM>(&last)));
    EXPECT_EQ(last.idCommand, 32772);
    EXPECT_EQ(last.iBitmap, 9);  // the tenth image
}

TEST_F(ToolBarTest, HeightHoldsTheButtonImagesAndTheToolbarSpansTheTop) {
    EXPECT_GE(toolBar.height(), 15);
    EXPECT_LT(toolBar.height(), 100);
    RECT client{};
    GetClientRect(host.hwnd(), &client);
    RECT bar{};
    GetWindowRect(toolBar.hwnd(), &bar);
    MapWindowPoints(nullptr, host.hwnd(), reinterpret_cast<POINT*>(&bar), 2);
    EXPECT_EQ(bar.top, 0);
    EXPECT_EQ(toolBar.size().cx, client.right - client.left);
}

TEST_F(ToolBarTest, ButtonStatesRoundTripThroughGetAndSetState) {
    EXPECT_EQ(toolBar.buttonState(1051), TBSTATE_ENABLED);
    EXPECT_TRUE(toolBar.isButtonEnabled(1051));

    EXPECT_TRUE(toolBar.setButtonState(1051, 0));
    EXPECT_EQ(toolBar.buttonState(1051), 0);
    EXPECT_FALSE(toolBar.isButtonEnabled(1051));
    EXPECT_EQ(SendMessageA(toolBar.hwnd(), TB_GETSTATE, 1051, 0), 0);

    EXPECT_TRUE(toolBar.setButtonState(1051, TBSTATE_ENABLED));
    EXPECT_EQ(toolBar.buttonState(1051), TBSTATE_ENABLED);

    EXPECT_TRUE(toolBar.enableButton(1068, false));
    EXPECT_FALSE(toolBar.isButtonEnabled(1068));
    EXPECT_TRUE(toolBar.enableButton(1068, true));
    EXPECT_TRUE(toolBar.isButtonEnabled(1068));

    EXPECT_EQ(toolBar.buttonState(4242), -1);
    EXPECT_FALSE(toolBar.isButtonEnabled(4242));
}

TEST_F(ToolBarTest, ToolTipRequestFromTheToolbarsTooltipReachesTheDialogTable) {
    NMTTDISPINFOA request{};
    request.hdr = {toolBar.toolTips(), 1051, TTN_GETDISPINFOA};
    SendMessageA(host.hwnd(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&request));

    ASSERT_EQ(host.requestedIds, std::vector<UINT>{1051});
    EXPECT_EQ(host.requestFrom[0], toolBar.toolTips());
    ASSERT_NE(request.lpszText, nullptr);
    EXPECT_STREQ(request.lpszText, "Open");
}

TEST_F(ToolBarTest, ToolTipRequestRelayedByTheToolbarArrivesAsAnsiRequest) {
    // The tooltip asks the toolbar (its tools' window) for the text; the toolbar hands the request
    // to its parent in the parent's character set.
    NMTTDISPINFOW request{};
    request.hdr = {toolBar.toolTips(), 1051, TTN_GETDISPINFOW};
    request.lpszText = request.szText;  // as the tooltip window hands it over
    SendMessageW(toolBar.hwnd(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&request));

    ASSERT_EQ(host.requestedIds, std::vector<UINT>{1051});
    ASSERT_NE(request.lpszText, nullptr);
    EXPECT_EQ(std::wstring(request.lpszText), L"Open");
}

TEST_F(ToolBarTest, DestroyingTheWrapperDestroysTheWindow) {
    const HWND window = toolBar.hwnd();
    {
        ToolBar second;
        ASSERT_TRUE(second.create(host.hwnd(), 0xE801));
        EXPECT_FALSE(second.create(host.hwnd(), 0xE801));
        EXPECT_EQ(GetDlgItem(host.hwnd(), 0xE801), second.hwnd());
    }
    EXPECT_EQ(GetDlgItem(host.hwnd(), 0xE801), nullptr);
    EXPECT_TRUE(IsWindow(window));
}

TEST(FrameworkToolBar, HoveringOverAButtonAsksTheDialogForItsTooltipText) {
    DialogTemplateBuilder builder = hostTemplate(WS_VISIBLE);
    ToolBarHostDialog host(builder.get());
    host.hoverDuringRun = true;

    // Ends once the tooltip shows; the guard ends it after 5 s otherwise.
    EXPECT_EQ(host.DoModal(), IDOK);
    ASSERT_FALSE(host.requestedIds.empty());
    EXPECT_EQ(host.requestedIds[0], 1051u);
    EXPECT_EQ(host.shownTip, "Open");
    drainMessages();
}

// The bar window painted through WM_PRINT, non-client area included.
class PrintedWindow {
public:
    explicit PrintedWindow(HWND window) {
        RECT bounds{};
        GetWindowRect(window, &bounds);
        size_ = {bounds.right - bounds.left, bounds.bottom - bounds.top};
        const HDC screen = GetDC(nullptr);
        memory_ = CreateCompatibleDC(screen);
        bitmap_.reset(CreateCompatibleBitmap(screen, size_.cx, size_.cy));
        ReleaseDC(nullptr, screen);
        previous_ = SelectObject(memory_, bitmap_.get());
        SendMessageA(window, WM_PRINT, reinterpret_cast<WPARAM>(memory_),
                     PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND);
    }
    ~PrintedWindow() {
        SelectObject(memory_, previous_);
        DeleteDC(memory_);
    }
    PrintedWindow(const PrintedWindow&) = delete;
    PrintedWindow& operator=(const PrintedWindow&) = delete;

    SIZE size() const { return size_; }
    COLORREF pixel(int x, int y) const { return GetPixel(memory_, x, y); }

private:
    SIZE size_{};
    HDC memory_ = nullptr;
    UniqueBitmap bitmap_;
    HGDIOBJ previous_ = nullptr;
};

TEST(FrameworkToolBar, AGripperAndABottomBorderAreDrawnAroundTheButtons) {
    DialogTemplateBuilder builder = hostTemplate(0);
    Dialog host(builder.get());
    ASSERT_TRUE(host.Create(nullptr));
    ToolBar plain;
    ASSERT_TRUE(plain.create(host.hwnd(), 0xE801));
    ASSERT_TRUE(plain.setButtons(makeImageStrip(), SIZE{16, 15}, kCommandIds));
    ToolBar bordered;
    const DWORD borders = kBarGripper | kBarBorderBottom;
    ASSERT_TRUE(bordered.create(host.hwnd(), 0xE802, borders));
    ASSERT_TRUE(bordered.setButtons(makeImageStrip(), SIZE{16, 15}, kCommandIds));

    // The borders lie outside the client area: the buttons start right of the gripper and the bar
    // is taller by the bottom line.
    const RECT insets = toolBarBorderInsets(borders);
    ASSERT_GT(insets.left, 0);
    ASSERT_GT(insets.bottom, 0);
    EXPECT_EQ(bordered.height(), plain.height() + insets.bottom);
    EXPECT_EQ(bordered.size().cx, plain.size().cx);
    RECT window{};
    GetWindowRect(bordered.hwnd(), &window);
    RECT first{};
    ASSERT_TRUE(SendMessageA(bordered.hwnd(), TB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first)));
    MapWindowPoints(bordered.hwnd(), nullptr, reinterpret_cast<POINT*>(&first), 2);
    EXPECT_GE(first.left - window.left, insets.left);
    EXPECT_LE(first.bottom, window.bottom - insets.bottom);

    const PrintedWindow printed(bordered.hwnd());
    const COLORREF highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    // The gripper: raised, a highlight edge left of a shadow edge, within the left strip.
    const int middle = printed.size().cy / 2;
    int highlightColumn = -1;
    int shadowColumn = -1;
    for (int x = 0; x < insets.left; ++x) {
        if (printed.pixel(x, middle) == highlight && highlightColumn < 0) highlightColumn = x;
        if (printed.pixel(x, middle) == shadow) shadowColumn = x;
    }
    EXPECT_GE(highlightColumn, 0) << "no gripper";
    EXPECT_GT(shadowColumn, highlightColumn) << "the gripper is not raised";
    // The bottom line, etched: shadow over highlight across the whole width.
    const int bottom = printed.size().cy - 1;
    const int width = printed.size().cx;
    for (const int x : {0, width / 2, width - 1}) {
        SCOPED_TRACE(x);
        EXPECT_EQ(printed.pixel(x, bottom - 1), shadow);
        EXPECT_EQ(printed.pixel(x, bottom), highlight);
    }
}

TEST(FrameworkToolBar, LoadsTheProgramsToolbarResourceWhenTheModuleHasOne) {
    const HINSTANCE module = GetModuleHandleA(nullptr);
    if (FindResourceA(module, MAKEINTRESOURCEA(129), MAKEINTRESOURCEA(kToolBarResourceType)) == nullptr) {
        GTEST_SKIP() << "no TOOLBAR resource 129 linked into this executable";
    }
    DialogTemplateBuilder builder = hostTemplate(0);
    Dialog host(builder.get());
    ASSERT_TRUE(host.Create(nullptr));
    ToolBar toolBar;
    ASSERT_TRUE(toolBar.create(host.hwnd()));
    ASSERT_TRUE(toolBar.loadToolBar(129));
    EXPECT_EQ(toolBar.buttonCount(), 13);
    EXPECT_TRUE(toolBar.isButtonEnabled(32772));

    // The same strip by bitmap id with a button list of the caller's.
    ToolBar second;
    ASSERT_TRUE(second.create(host.hwnd(), 0xE801));
    const UINT ids[] = {1051, 0, 1053};
    ASSERT_TRUE(second.setButtons(UINT(129), SIZE{16, 15}, ids));
    EXPECT_EQ(second.buttonCount(), 3);
}

TEST(FrameworkToolBarResource, TheStripIsTheOneDrawnForTheLargestDpiNotAboveTheScreens) {
    constexpr ToolBarStrip strips[] = {{96, 1, {16, 15}}, {144, 2, {24, 23}}, {192, 3, {32, 30}}};
    EXPECT_EQ(chooseToolBarStrip(strips, 72).bitmapId, 1u);  // below them all: the smallest
    EXPECT_EQ(chooseToolBarStrip(strips, 96).bitmapId, 1u);
    EXPECT_EQ(chooseToolBarStrip(strips, 120).bitmapId, 1u);
    EXPECT_EQ(chooseToolBarStrip(strips, 144).bitmapId, 2u);
    EXPECT_EQ(chooseToolBarStrip(strips, 191).bitmapId, 2u);
    EXPECT_EQ(chooseToolBarStrip(strips, 192).bitmapId, 3u);
    EXPECT_EQ(chooseToolBarStrip(strips, 288).bitmapId, 3u);
}

// The program's toolbar on screens at 100, 150 and 200 %: the images drawn for that scale, in
// buttons sized for them, and a bar that holds the buttons.
TEST(FrameworkToolBar, TheProgramsToolbarShowsTheStripForTheScreensDpiInButtonsToMatch) {
    const HINSTANCE module = GetModuleHandleA(nullptr);
    if (FindResourceA(module, MAKEINTRESOURCEA(IDR_TOOLBAR), MAKEINTRESOURCEA(kToolBarResourceType)) == nullptr) {
        GTEST_SKIP() << "no TOOLBAR resource linked into this executable";
    }
    struct Expected {
        int dpi;
        UINT bitmapId;
        SIZE image;
        SIZE button;
    };
    const Expected cases[] = {
        {96, IDR_TOOLBAR, {16, 15}, {23, 21}},
        {120, IDB_TOOLBAR_125, {20, 19}, {29, 27}},
        {144, IDB_TOOLBAR_150, {24, 23}, {35, 32}},
        {192, IDB_TOOLBAR_200, {32, 30}, {46, 42}},
    };
    DialogTemplateBuilder builder = hostTemplate(0);
    Dialog host(builder.get());
    ASSERT_TRUE(host.Create(nullptr));
    UINT controlId = 0xE801;
    for (const Expected& expected : cases) {
        SCOPED_TRACE(expected.dpi);
        const ToolBarStrip& strip = mainToolBarStrip(expected.dpi);
        EXPECT_EQ(strip.bitmapId, expected.bitmapId);
        EXPECT_EQ(strip.imageSize.cx, expected.image.cx);
        EXPECT_EQ(strip.imageSize.cy, expected.image.cy);

        ToolBar toolBar;
        ASSERT_TRUE(toolBar.create(host.hwnd(), controlId++));
        ASSERT_TRUE(toolBar.loadToolBar(IDR_TOOLBAR, strip));
        EXPECT_EQ(toolBar.buttonCount(), TOOLBAR_ITEM_COUNT);
        const LRESULT buttonSize = SendMessageA(toolBar.hwnd(), TB_GETBUTTONSIZE, 0, 0);
        EXPECT_EQ(LOWORD(buttonSize), expected.button.cx);
        EXPECT_EQ(HIWORD(buttonSize), expected.button.cy);
        // The control cut the strip into images of the strip's size, one per button.
        const auto images = reinterpret_cast<HIMAGELIST>(SendMessageA(toolBar.hwnd(), TB_GETIMAGELIST, 0, 0));
        int imageWidth = 0;
        int imageHeight = 0;
        ASSERT_TRUE(ImageList_GetIconSize(images, &imageWidth, &imageHeight));
        EXPECT_EQ(imageWidth, expected.image.cx);
        EXPECT_EQ(imageHeight, expected.image.cy);
        EXPECT_EQ(ImageList_GetImageCount(images), TOOLBAR_IMAGE_COUNT);
        RECT last{};
        ASSERT_TRUE(SendMessageA(toolBar.hwnd(), TB_GETITEMRECT, TOOLBAR_ITEM_COUNT - 1, reinterpret_cast<LPARAM>(&last)));
        EXPECT_EQ(last.right - last.left, expected.button.cx);
        EXPECT_EQ(last.bottom - last.top, expected.button.cy);
        EXPECT_GE(toolBar.height(), expected.button.cy);
        EXPECT_LT(toolBar.height(), expected.button.cy + 10);
    }
}

TEST(FrameworkToolBar, ButtonsNeedTheWindowAndAStrip) {
    ToolBar toolBar;
    const UINT ids[] = {1051};
    EXPECT_FALSE(toolBar.setButtons(makeImageStrip(), SIZE{16, 15}, ids));
    EXPECT_EQ(toolBar.hwnd(), nullptr);
    EXPECT_EQ(toolBar.buttonState(1051), -1);
    EXPECT_FALSE(toolBar.isButtonEnabled(1051));
    EXPECT_EQ(toolBar.height(), 0);

    DialogTemplateBuilder builder = hostTemplate(0);
    Dialog host(builder.get());
    ASSERT_TRUE(host.Create(nullptr));
    ASSERT_TRUE(toolBar.create(host.hwnd()));
    EXPECT_FALSE(toolBar.setButtons(UniqueBitmap(), SIZE{16, 15}, ids));
    EXPECT_FALSE(toolBar.setButtons(UINT(0x7FF0), SIZE{16, 15}, ids));  // no such bitmap
    EXPECT_EQ(toolBar.buttonCount(), 0);
}

}  // namespace
}  // namespace quenlet::test
