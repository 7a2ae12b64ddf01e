// The About box run modally: its texts, the two links and their targets clicked with the real
// mouse, unvisited links at every opening, and both commands of the main window that open it.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "framework/text_format.h"
#include "res/resource.h"
#include "support/main_window_fixture.h"
#include "ui/about_dialog.h"

namespace quenlet::test {
namespace {

using namespace std::chrono_literals;

constexpr COLORREF kUnvisited = RGB(0, 0, 255);
constexpr COLORREF kHovered = RGB(255, 0, 255);
constexpr COLORREF kVisited = RGB(128, 0, 128);

// Opens nothing; records each target it was asked to open.
class RecordingLink : public HyperLink {
public:
    bool Navigate() override {
        navigated.push_back(GetURL());
        return true;
    }
    std::vector<std::string> navigated;
};

class RecordingAboutDialog : public BasicAboutDialog<RecordingLink> {
public:
    RecordingLink& web() { return webLink; }
    RecordingLink& mail() { return mailLink; }
};

// The text colour the dialog gives control, asked the way the control asks before painting.
COLORREF textColourOf(HWND control) {
    const HDC dc = CreateCompatibleDC(nullptr);
    SetTextColor(dc, RGB(1, 2, 3));
    SendMessageA(GetParent(control), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(control));
    const COLORREF colour = GetTextColor(dc);
    DeleteDC(dc);
    return colour;
}

// A point of the screen far from the About box and the main window.
POINT farCorner() { return {GetSystemMetrics(SM_CXSCREEN) - 3, GetSystemMetrics(SM_CYSCREEN) - 3}; }

void closeWithEscape(HWND dialog) {
    PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageA(dialog, WM_KEYUP, VK_ESCAPE, 0xC0010001);
}

bool contains(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

class AboutDialogTest : public ::testing::Test {
protected:
    void SetUp() override { moveMouseTo(farCorner()); }
    void TearDown() override { moveMouseTo(farCorner()); }

    MainWindowApplication application;
};

TEST_F(AboutDialogTest, ShowsNameVersionNoticeAndBothAddressesAsLinks) {
    RecordingAboutDialog dialog;
    std::string caption;
    std::vector<std::string> texts;
    ModalDriver driver;
    driver.then([&] {
        caption = windowText(dialog.hwnd());
        texts = childTexts(dialog.hwnd());
        EXPECT_EQ(dialog.web().GetControl(), dialog.item(IDC_WEB_LINK));
        EXPECT_EQ(dialog.mail().GetControl(), dialog.item(IDC_MAIL_LINK));
        EXPECT_EQ(textColourOf(dialog.item(IDC_WEB_LINK)), kUnvisited);
        EXPECT_EQ(textColourOf(dialog.item(IDC_MAIL_LINK)), kUnvisited);
        closeWithEscape(dialog.hwnd());
    });
    EXPECT_EQ(driver.run(dialog), IDCANCEL);
    EXPECT_TRUE(driver.allStepsRan());

    EXPECT_EQ(caption, "About");
    EXPECT_TRUE(contains(texts, "Quenlet 4.1.6"));
    EXPECT_TRUE(contains(texts, QUENLET_NOTICE_TEXT));
    EXPECT_TRUE(contains(texts, QUENLET_WEB_ADDRESS));
    EXPECT_TRUE(contains(texts, QUENLET_SUPPORT_ADDRESS));
    EXPECT_EQ(dialog.web().GetURL(), QUENLET_WEB_ADDRESS);
    EXPECT_EQ(dialog.mail().GetURL(), "mailto: " QUENLET_SUPPORT_ADDRESS);
}

TEST_F(AboutDialogTest, ClickingTheLinksHandsTheMailtoTextAndTheWebAddressToNavigate) {
    RecordingAboutDialog dialog;
    const auto mailLink = [&] { return dialog.item(IDC_MAIL_LINK); };
    const auto webLink = [&] { return dialog.item(IDC_WEB_LINK); };
    ModalDriver driver;
    driver.then([&] {
              SetForegroundWindow(dialog.hwnd());
              moveMouseTo(centreOf(mailLink()));
          })
        .when([&] { return textColourOf(mailLink()) == kHovered; },
              [&] {
                  sendMouse(MOUSEEVENTF_LEFTDOWN);
                  sendMouse(MOUSEEVENTF_LEFTUP);
              })
        .when([&] { return !dialog.mail().navigated.empty(); }, [&] { moveMouseTo(centreOf(webLink())); })
        .when([&] { return textColourOf(webLink()) == kHovered; },
              [&] {
                  sendMouse(MOUSEEVENTF_LEFTDOWN);
                  sendMouse(MOUSEEVENTF_LEFTUP);
              })
        .when([&] { return !dialog.web().navigated.empty(); },
              [&] {
                  EXPECT_EQ(textColourOf(mailLink()), kVisited);
                  EXPECT_EQ(textColourOf(webLink()), kVisited);
                  closeWithEscape(dialog.hwnd());
              });
    EXPECT_EQ(driver.run(dialog), IDCANCEL);
    EXPECT_TRUE(driver.allStepsRan());
    EXPECT_EQ(dialog.mail().navigated, std::vector<std::string>{"mailto: support@quenlet.example.org"});
    EXPECT_EQ(dialog.web().navigated, std::vector<std::string>{"https://quenlet.example.org/"});
}

TEST_F(AboutDialogTest, EveryOpeningShowsUnvisitedLinks) {
    for (int opening = 1; opening <= 2; ++opening) {
        SCOPED_TRACE(opening);
        RecordingAboutDialog dialog;
        const auto mailLink = [&] { return dialog.item(IDC_MAIL_LINK); };
        COLORREF mailAtOpening = 0;
        COLORREF webAtOpening = 0;
        ModalDriver driver;
        driver.then([&] {
                  mailAtOpening = textColourOf(mailLink());
                  webAtOpening = textColourOf(dialog.item(IDC_WEB_LINK));
                  SetForegroundWindow(dialog.hwnd());
                  moveMouseTo(centreOf(mailLink()));
              })
            .when([&] { return textColourOf(mailLink()) == kHovered; },
                  [&] {
                      sendMouse(MOUSEEVENTF_LEFTDOWN);
                      sendMouse(MOUSEEVENTF_LEFTUP);
                  })
            .when([&] { return textColourOf(mailLink()) == kVisited; },
                  [&] {
                      moveMouseTo(farCorner());
                      closeWithEscape(dialog.hwnd());
                  });
        EXPECT_EQ(driver.run(dialog), IDCANCEL);
        EXPECT_TRUE(driver.allStepsRan());
        EXPECT_EQ(mailAtOpening, kUnvisited);
        EXPECT_EQ(webAtOpening, kUnvisited);
        EXPECT_EQ(dialog.mail().navigated.size(), 1u);
        // Clicks after the double-click time, or the next opening's first click would pair with it.
        Sleep(GetDoubleClickTime() + 50);
    }
}

// The main window's menu item and toolbar button open the About box, owned by the main window.
class AboutCommandTest : public MainWindowTest {};

TEST_F(AboutCommandTest, TheMenuItemAndTheToolbarButtonOpenTheAboutBox) {
    for (const UINT id : {UINT{ID_HELP_ABOUT}, UINT{ID_TOOLBAR_ABOUT}}) {
        SCOPED_TRACE(id);
        std::vector<std::string> texts;
        bool ownerDisabled = false;
        ModalDriver driver;
        const auto about = [&] { return findOwnedWindow(window(), "About"); };
        driver.then([&] {
            texts = childTexts(about());
            ownerDisabled = IsWindowEnabled(window()) == FALSE;
            closeWithEscape(about());
        });
        driver.runAround([&] { command(id); }, about);
        EXPECT_TRUE(driver.allStepsRan()) << "no About box owned by the main window";
        EXPECT_FALSE(driver.timedOut());
        EXPECT_TRUE(contains(texts, "Quenlet 4.1.6"));
        EXPECT_TRUE(contains(texts, QUENLET_SUPPORT_ADDRESS));
        EXPECT_TRUE(ownerDisabled);
        EXPECT_TRUE(IsWindowEnabled(window()));
        EXPECT_EQ(about(), nullptr);
    }
}

}  // namespace
}  // namespace quenlet::test
