// HyperLink on real static controls of a modeless dialog: parent registration, colours read back
// through WM_CTLCOLORSTATIC, the state sequence driven by real mouse input, sizing and detaching.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "framework/dialog.h"
#include "support/window_pump.h"
#include "tests/unit/framework_test_support.h"
#include "ui/hyper_link.h"

namespace quenlet::test {
namespace {

using namespace std::chrono_literals;

constexpr WORD kFirstLinkId = 101;
constexpr WORD kSecondLinkId = 102;
constexpr WORD kPlainTextId = 103;
constexpr WORD kWideId = 104;
constexpr WORD kNarrowId = 105;

constexpr COLORREF kNormal = RGB(0, 0, 255);
constexpr COLORREF kHover = RGB(255, 0, 255);
constexpr COLORREF kActive = RGB(255, 0, 0);
constexpr COLORREF kVisited = RGB(128, 0, 128);

constexpr auto kBound = 3000ms;

// Opens nothing: records each target it was asked to open and what the base did with an empty one.
class RecordingLink : public HyperLink {
public:
    bool Navigate() override {
        navigated.push_back(GetURL());
        // Only the empty target is safe to hand to the real implementation.
        return GetURL().empty() ? HyperLink::Navigate() : true;
    }

    std::vector<std::string> navigated;
};

DialogTemplateBuilder linkDialogTemplate() {
    DialogTemplateBuilder builder(kPopupDialogStyle | WS_VISIBLE, 220, 110, "Links");
    builder.add(ControlClass::Static, kFirstLinkId, "first link", SS_LEFT, 10, 10, 150, 10)
        .add(ControlClass::Static, kSecondLinkId, "second link", SS_LEFT, 10, 30, 150, 10)
        .add(ControlClass::Static, kPlainTextId, "plain text", SS_LEFT, 10, 50, 150, 10)
        .add(ControlClass::Static, kWideId, "wide", SS_LEFT, 10, 70, 180, 14)
        .add(ControlClass::Static, kNarrowId, "a text longer than its box", SS_LEFT, 10, 90, 20, 6);
    return builder;
}

// The text colour the parent gives control, as a static control asks for it before painting.
COLORREF textColourOf(HWND control) {
    const HDC dc = CreateCompatibleDC(nullptr);
    SetTextColor(dc, RGB(1, 2, 3));
    SendMessageA(GetParent(control), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(control));
    const COLORREF colour = GetTextColor(dc);
    DeleteDC(dc);
    return colour;
}

bool isUnderlined(HWND control) {
    LOGFONTA description{};
    const auto font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
    if (GetObjectA(font, sizeof description, &description) == 0) return false;
    return description.lfUnderline != 0;
}

WNDPROC windowProcOf(HWND window) {
    return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
}

const HyperLink::ParentRegistration* registrationOf(HWND parent) {
    const auto& registry = HyperLink::registeredParents();
    const auto found = std::find_if(registry.begin(), registry.end(),
                                    [parent](const auto& r) { return r.parent == parent; });
    return found != registry.end() ? &*found : nullptr;
}

// Real input, as the system would queue it from the mouse.
void sendMouse(DWORD flags, POINT screen = {}) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    if ((flags & MOUSEEVENTF_MOVE) != 0) {
        flags |= MOUSEEVENTF_ABSOLUTE;
        input.mi.dx = MulDiv(screen.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
        input.mi.dy = MulDiv(screen.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    }
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof input);
}

POINT centreOf(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

void moveMouseOnto(HWND window) { sendMouse(MOUSEEVENTF_MOVE, centreOf(window)); }

// A point of the dialog's client area that no control covers.
void moveMouseOntoBackground(HWND dialog) {
    RECT client{};
    GetClientRect(dialog, &client);
    POINT point{client.right - 5, client.bottom - 5};
    ClientToScreen(dialog, &point);
    sendMouse(MOUSEEVENTF_MOVE, point);
}

bool colourBecomes(HWND control, COLORREF expected) {
    return pumpUntil([&] { return textColourOf(control) == expected; }, kBound);
}

// The control's rectangle in its parent's client coordinates.
RECT placementOf(HWND control) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

SIZE textExtentOf(HWND control, HFONT font) {
    char text[64] = {};
    GetWindowTextA(control, text, sizeof text);
    SIZE extent{};
    const HDC dc = GetDC(control);
    const HGDIOBJ previous = SelectObject(dc, font);
    GetTextExtentPoint32A(dc, text, lstrlenA(text), &extent);
    SelectObject(dc, previous);
    ReleaseDC(control, dc);
    return extent;
}

class HyperLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dialog.Create(nullptr));
        SetForegroundWindow(dialog.hwnd());
        // Start every test with the pointer away from the links.
        moveMouseOntoBackground(dialog.hwnd());
        pumpFor(50ms);
    }

    void TearDown() override {
        moveMouseOntoBackground(dialog.hwnd());
        drainMessages();
    }

    HWND control(int id) const { return dialog.item(id); }

    DialogTemplateBuilder builder = linkDialogTemplate();
    Dialog dialog{builder.get()};
};

TEST_F(HyperLinkTest, DetachOfANeverAttachedLinkReturnsTrue) {
    RecordingLink link;
    EXPECT_TRUE(link.Detach());
    EXPECT_EQ(link.GetControl(), nullptr);
}

TEST_F(HyperLinkTest, AttachToSomethingThatIsNotAWindowFails) {
    RecordingLink link;
    EXPECT_FALSE(link.Attach(nullptr, false));
    EXPECT_FALSE(link.Attach(reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FF0)), false));
    EXPECT_EQ(link.GetControl(), nullptr);
}

TEST_F(HyperLinkTest, TwoLinksRegisterTheirParentOnceWithCountTwo) {
    const WNDPROC originalDialogProc = windowProcOf(dialog.hwnd());
    RecordingLink first;
    RecordingLink second;

    ASSERT_TRUE(first.Attach(control(kFirstLinkId), false));
    const WNDPROC afterFirst = windowProcOf(dialog.hwnd());
    EXPECT_NE(afterFirst, originalDialogProc);
    ASSERT_NE(registrationOf(dialog.hwnd()), nullptr);
    EXPECT_EQ(registrationOf(dialog.hwnd())->linkCount, 1);

    ASSERT_TRUE(second.Attach(control(kSecondLinkId), false));
    EXPECT_EQ(windowProcOf(dialog.hwnd()), afterFirst) << "the parent was subclassed twice";
    const auto pairs = std::count_if(HyperLink::registeredParents().begin(),
                                     HyperLink::registeredParents().end(),
                                     [&](const auto& r) { return r.parent == dialog.hwnd(); });
    EXPECT_EQ(pairs, 1);
    EXPECT_EQ(registrationOf(dialog.hwnd())->linkCount, 2);
    EXPECT_EQ(registrationOf(dialog.hwnd())->previousProc, originalDialogProc);
}

TEST_F(HyperLinkTest, LinksAreBlueAndAPlainStaticKeepsItsColour) {
    const COLORREF plainBefore = textColourOf(control(kPlainTextId));
    ASSERT_NE(plainBefore, RGB(1, 2, 3)) << "the dialog gave the static no colour at all";
    RecordingLink first;
    RecordingLink second;
    ASSERT_TRUE(first.Attach(control(kFirstLinkId), false));
    ASSERT_TRUE(second.Attach(control(kSecondLinkId), false));

    EXPECT_EQ(textColourOf(control(kFirstLinkId)), kNormal);
    EXPECT_EQ(textColourOf(control(kSecondLinkId)), kNormal);
    EXPECT_EQ(textColourOf(control(kPlainTextId)), plainBefore);
    EXPECT_FALSE(isUnderlined(control(kFirstLinkId)));
    EXPECT_NE(GetWindowLongA(control(kFirstLinkId), GWL_STYLE) & SS_NOTIFY, 0);
}

TEST_F(HyperLinkTest, HoverPressReleaseAndLeaveFollowTheColourOrder) {
    RecordingLink link;
    RecordingLink other;
    ASSERT_TRUE(link.Attach(control(kFirstLinkId), false));
    ASSERT_TRUE(other.Attach(control(kSecondLinkId), false));
    link.SetURL("https://links.example.org/");
    const HWND target = control(kFirstLinkId);
    ASSERT_EQ(textColourOf(target), kNormal);

    moveMouseOnto(target);
    ASSERT_TRUE(colourBecomes(target, kHover));
    EXPECT_TRUE(isUnderlined(target));
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_HAND));
    EXPECT_EQ(textColourOf(control(kSecondLinkId)), kNormal) << "hover leaked to the other link";

    sendMouse(MOUSEEVENTF_LEFTDOWN);
    ASSERT_TRUE(colourBecomes(target, kActive));
    EXPECT_EQ(GetFocus(), target);
    EXPECT_TRUE(link.navigated.empty());

    sendMouse(MOUSEEVENTF_LEFTUP);
    ASSERT_TRUE(colourBecomes(target, kVisited));
    EXPECT_EQ(link.navigated, std::vector<std::string>{"https://links.example.org/"});
    EXPECT_TRUE(other.navigated.empty());

    // Visited wins over hovering and pressing from now on. The second click comes after the
    // double-click time, or the static control would get it as a double-click.
    pumpFor(std::chrono::milliseconds(GetDoubleClickTime() + 100));
    sendMouse(MOUSEEVENTF_LEFTDOWN);
    pumpFor(100ms);
    EXPECT_EQ(textColourOf(target), kVisited);
    sendMouse(MOUSEEVENTF_LEFTUP);

    ASSERT_TRUE(pumpUntil([&] { return link.navigated.size() == 2; }, kBound));
    moveMouseOntoBackground(dialog.hwnd());
    ASSERT_TRUE(pumpUntil([&] { return !isUnderlined(target); }, kBound));
    EXPECT_EQ(textColourOf(target), kVisited);
}

TEST_F(HyperLinkTest, LeavingWithoutAClickGoesBackToNormal) {
    RecordingLink link;
    ASSERT_TRUE(link.Attach(control(kFirstLinkId), false));
    const HWND target = control(kFirstLinkId);

    moveMouseOnto(target);
    ASSERT_TRUE(colourBecomes(target, kHover));
    moveMouseOntoBackground(dialog.hwnd());
    ASSERT_TRUE(colourBecomes(target, kNormal));
    EXPECT_FALSE(isUnderlined(target));
    EXPECT_TRUE(link.navigated.empty());
}

TEST_F(HyperLinkTest, PressMoveOffAndReleaseElsewhereDoesNotNavigate) {
    RecordingLink link;
    ASSERT_TRUE(link.Attach(control(kFirstLinkId), false));
    link.SetURL("https://links.example.org/");
    const HWND target = control(kFirstLinkId);

    moveMouseOnto(target);
    ASSERT_TRUE(colourBecomes(target, kHover));
    sendMouse(MOUSEEVENTF_LEFTDOWN);
    ASSERT_TRUE(colourBecomes(target, kActive));

    moveMouseOntoBackground(dialog.hwnd());
    ASSERT_TRUE(colourBecomes(target, kNormal)) << "leaving did not clear the press";
    sendMouse(MOUSEEVENTF_LEFTUP);
    pumpFor(100ms);

    EXPECT_TRUE(link.navigated.empty());
    EXPECT_EQ(textColourOf(target), kNormal);
    EXPECT_FALSE(isUnderlined(target));
}

TEST_F(HyperLinkTest, AClickOnAnEmptyTargetMarksVisitedAndOpensNothing) {
    RecordingLink link;
    ASSERT_TRUE(link.Attach(control(kFirstLinkId), false));
    const HWND target = control(kFirstLinkId);
    EXPECT_FALSE(link.HyperLink::Navigate()) << "an empty target must not be opened";

    moveMouseOnto(target);
    ASSERT_TRUE(colourBecomes(target, kHover));
    sendMouse(MOUSEEVENTF_LEFTDOWN);
    ASSERT_TRUE(colourBecomes(target, kActive));
    sendMouse(MOUSEEVENTF_LEFTUP);
    ASSERT_TRUE(colourBecomes(target, kVisited));
    EXPECT_EQ(link.navigated, std::vector<std::string>{""});
}

TEST_F(HyperLinkTest, AutoSizeFitsTheTextAndKeepsTheTopLeftCorner) {
    const HWND wide = control(kWideId);
    const HWND narrow = control(kNarrowId);
    const auto font = reinterpret_cast<HFONT>(SendMessageA(wide, WM_GETFONT, 0, 0));
    const RECT wideBefore = placementOf(wide);
    const RECT narrowBefore = placementOf(narrow);
    const SIZE wideText = textExtentOf(wide, font);
    const SIZE narrowText = textExtentOf(narrow, font);
    // The layout must really be off in both directions for the test to mean anything.
    ASSERT_GT(wideBefore.right - wideBefore.left, wideText.cx);
    ASSERT_LT(narrowBefore.right - narrowBefore.left, narrowText.cx);

    RecordingLink wideLink;
    RecordingLink narrowLink;
    ASSERT_TRUE(wideLink.Attach(wide, true));
    ASSERT_TRUE(narrowLink.Attach(narrow, true));

    for (const auto& [window, before, text] :
         {std::tuple{wide, wideBefore, wideText}, std::tuple{narrow, narrowBefore, narrowText}}) {
        const RECT after = placementOf(window);
        EXPECT_EQ(after.left, before.left);
        EXPECT_EQ(after.top, before.top);
        EXPECT_EQ(after.right - after.left, text.cx);
        EXPECT_EQ(after.bottom - after.top, text.cy);
    }
}

TEST_F(HyperLinkTest, WithoutAutoSizeTheLayoutStays) {
    const RECT before = placementOf(control(kWideId));
    RecordingLink link;
    ASSERT_TRUE(link.Attach(control(kWideId), false));
    const RECT after = placementOf(control(kWideId));
    EXPECT_TRUE(EqualRect(&before, &after));
}

TEST_F(HyperLinkTest, DetachRestoresProceduresFontAndRegistry) {
    const HWND first = control(kFirstLinkId);
    const HWND second = control(kSecondLinkId);
    const WNDPROC dialogProc = windowProcOf(dialog.hwnd());
    const WNDPROC firstProc = windowProcOf(first);
    const WNDPROC secondProc = windowProcOf(second);
    const auto originalFont = SendMessageA(first, WM_GETFONT, 0, 0);

    RecordingLink firstLink;
    RecordingLink secondLink;
    ASSERT_TRUE(firstLink.Attach(first, false));
    ASSERT_TRUE(secondLink.Attach(second, false));
    EXPECT_NE(windowProcOf(first), firstProc);
    EXPECT_NE(SendMessageA(first, WM_GETFONT, 0, 0), originalFont);

    EXPECT_TRUE(secondLink.Detach());
    EXPECT_EQ(windowProcOf(second), secondProc);
    EXPECT_NE(windowProcOf(dialog.hwnd()), dialogProc) << "another link still needs the parent";
    ASSERT_NE(registrationOf(dialog.hwnd()), nullptr);
    EXPECT_EQ(registrationOf(dialog.hwnd())->linkCount, 1);

    EXPECT_TRUE(firstLink.Detach());
    EXPECT_EQ(windowProcOf(first), firstProc);
    EXPECT_EQ(windowProcOf(dialog.hwnd()), dialogProc);
    EXPECT_EQ(registrationOf(dialog.hwnd()), nullptr);
    EXPECT_EQ(SendMessageA(first, WM_GETFONT, 0, 0), originalFont);
    EXPECT_EQ(GetPropA(first, HyperLink::PROP_OBJECT_PTR), nullptr);
    EXPECT_EQ(firstLink.GetControl(), nullptr);
    EXPECT_TRUE(firstLink.Detach()) << "a second detach has nothing left to do";
}

TEST_F(HyperLinkTest, TheLinkHoldingTheParentHandsItOverWhenItGoesFirst) {
    const WNDPROC dialogProc = windowProcOf(dialog.hwnd());
    auto holder = std::make_unique<RecordingLink>();
    RecordingLink remaining;
    ASSERT_TRUE(holder->Attach(control(kFirstLinkId), false));
    ASSERT_TRUE(remaining.Attach(control(kSecondLinkId), false));
    ASSERT_EQ(registrationOf(dialog.hwnd())->subclasser, holder.get());

    holder.reset();  // detaches, and its entry code is freed

    ASSERT_NE(registrationOf(dialog.hwnd()), nullptr);
    EXPECT_EQ(registrationOf(dialog.hwnd())->subclasser, &remaining);
    EXPECT_EQ(registrationOf(dialog.hwnd())->linkCount, 1);
    EXPECT_EQ(textColourOf(control(kSecondLinkId)), kNormal);
    EXPECT_NE(textColourOf(control(kFirstLinkId)), kNormal);

    EXPECT_TRUE(remaining.Detach());
    EXPECT_EQ(windowProcOf(dialog.hwnd()), dialogProc);
    EXPECT_EQ(registrationOf(dialog.hwnd()), nullptr);
}

TEST_F(HyperLinkTest, ASecondAttachMovesTheLinkToTheNewControl) {
    const HWND first = control(kFirstLinkId);
    const HWND second = control(kSecondLinkId);
    const WNDPROC firstProc = windowProcOf(first);
    RecordingLink link;
    ASSERT_TRUE(link.Attach(first, false));
    ASSERT_TRUE(link.Attach(second, false));

    EXPECT_EQ(link.GetControl(), second);
    EXPECT_EQ(windowProcOf(first), firstProc);
    EXPECT_EQ(GetPropA(first, HyperLink::PROP_OBJECT_PTR), nullptr);
    EXPECT_EQ(registrationOf(dialog.hwnd())->linkCount, 1);
    EXPECT_EQ(textColourOf(second), kNormal);
}

TEST(HyperLinkLifetime, DestroyingTheDialogReleasesItsRegistration) {
    DialogTemplateBuilder builder = linkDialogTemplate();
    auto dialog = std::make_unique<Dialog>(builder.get());
    ASSERT_TRUE(dialog->Create(nullptr));
    const HWND window = dialog->hwnd();
    RecordingLink first;
    RecordingLink second;
    ASSERT_TRUE(first.Attach(dialog->item(kFirstLinkId), true));
    ASSERT_TRUE(second.Attach(dialog->item(kSecondLinkId), true));
    ASSERT_NE(registrationOf(window), nullptr);

    dialog.reset();  // the window and its controls go; the links live on, as the About box's do

    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(registrationOf(window), nullptr);
    EXPECT_TRUE(second.Detach());
    EXPECT_TRUE(first.Detach());
    drainMessages();
}

}  // namespace
}  // namespace quenlet::test
