// Control wrappers bound by id in a dialog's DoDataExchange.
#include <windows.h>

#include <gtest/gtest.h>

#include "framework/data_exchange.h"
#include "framework/dialog.h"
#include "tests/unit/framework_test_support.h"

namespace quenlet::test {
namespace {

constexpr WORD kPortListId = 1000;
constexpr WORD kBaudListId = 1010;
constexpr WORD kCheckId = 1019;
constexpr WORD kEditId = 1040;

class BindingDialog : public Dialog {
public:
    explicit BindingDialog(const DLGTEMPLATE* dialogTemplate) : Dialog(dialogTemplate) {}

    void DoDataExchange() override {
        portBound = portList.attach(*this, kPortListId);
        baudBound = baudList.attach(*this, kBaudListId);
        checkBound = loops.attach(*this, kCheckId);
        editBound = interval.attach(*this, kEditId);
        missingBound = missing.attach(*this, 4711);
    }
    BOOL OnInitDialog() override {
        countAtInit = portList.count();
        return TRUE;
    }

    ComboBox portList;
    ComboBox baudList;
    Button loops;
    Edit interval;
    ComboBox missing;
    bool portBound = false, baudBound = false, checkBound = false, editBound = false;
    bool missingBound = true;
    int countAtInit = -2;
};

DialogTemplateBuilder bindingTemplate() {
    DialogTemplateBuilder builder(kPopupDialogStyle, 160, 80, "Bindings");
    builder.add(ControlClass::ComboBox, kPortListId, "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 5, 5, 100, 80)
        .add(ControlClass::ComboBox, kBaudListId, "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 5, 22, 100, 80)
        .add(ControlClass::Button, kCheckId, "Loops", BS_AUTOCHECKBOX | WS_TABSTOP, 5, 40, 40, 10)
        .add(ControlClass::Edit, kEditId, "", ES_NUMBER | ES_AUTOHSCROLL | WS_BORDER, 50, 40, 40, 12);
    return builder;
}

class DataExchangeTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dialog.Create(nullptr)); }
    void TearDown() override { drainMessages(); }

    DialogTemplateBuilder builder = bindingTemplate();
    BindingDialog dialog{builder.get()};
};

TEST_F(DataExchangeTest, ControlsAreBoundByIdBeforeOnInitDialog) {
    EXPECT_TRUE(dialog.portBound && dialog.baudBound && dialog.checkBound && dialog.editBound);
    EXPECT_FALSE(dialog.missingBound);
    EXPECT_EQ(dialog.missing.hwnd(), nullptr);
    EXPECT_EQ(dialog.portList.hwnd(), dialog.item(kPortListId));
    EXPECT_EQ(dialog.countAtInit, 0);
}

TEST_F(DataExchangeTest, ComboBoxListsSelectsAndFinds) {
    const ComboBox& ports = dialog.portList;
    EXPECT_EQ(ports.addString("COM1"), 0);
    EXPECT_EQ(ports.addString("COM3"), 1);
    EXPECT_EQ(ports.addString("COM10"), 2);
    EXPECT_EQ(ports.count(), 3);
    EXPECT_EQ(ports.getCurSel(), CB_ERR);

    EXPECT_EQ(ports.findStringExact(-1, "COM3"), 1);
    EXPECT_EQ(ports.findStringExact(-1, "COM4"), CB_ERR);
    EXPECT_EQ(ports.setCurSel(1), 1);
    EXPECT_EQ(ports.getCurSel(), 1);
    EXPECT_EQ(ports.getLBText(2), "COM10");
    EXPECT_EQ(ports.getLBText(7), "");
    EXPECT_EQ(ports.text(), "COM3");

    char shortBuffer[4];
    ports.getWindowText(shortBuffer, sizeof(shortBuffer));
    EXPECT_STREQ(shortBuffer, "COM");

    EXPECT_EQ(ports.setCurSel(-1), CB_ERR);
    EXPECT_EQ(ports.getCurSel(), CB_ERR);
    ports.resetContent();
    EXPECT_EQ(ports.count(), 0);
}

TEST_F(DataExchangeTest, BoundListsAreIndependent) {
    dialog.baudList.addString("9600");
    EXPECT_EQ(dialog.baudList.count(), 1);
    EXPECT_EQ(dialog.portList.count(), 0);
}

TEST_F(DataExchangeTest, ButtonAndEditWrappers) {
    EXPECT_EQ(dialog.loops.getCheck(), static_cast<UINT>(BST_UNCHECKED));
    dialog.loops.setCheck(BST_CHECKED);
    EXPECT_EQ(dialog.loops.getCheck(), static_cast<UINT>(BST_CHECKED));
    EXPECT_TRUE(dialog.isChecked(kCheckId));

    dialog.interval.setText("Uint/ms");
    EXPECT_EQ(dialog.interval.text(), "Uint/ms");
    EXPECT_EQ(dialog.interval.textLength(), 7);
    dialog.interval.limitText(6);
    EXPECT_EQ(SendMessageA(dialog.interval.hwnd(), EM_GETLIMITTEXT, 0, 0), 6);
    dialog.interval.setReadOnly(true);
    EXPECT_NE(GetWindowLongA(dialog.interval.hwnd(), GWL_STYLE) & ES_READONLY, 0);
    dialog.interval.setReadOnly(false);
    EXPECT_EQ(GetWindowLongA(dialog.interval.hwnd(), GWL_STYLE) & ES_READONLY, 0);

    dialog.interval.enable(false);
    EXPECT_FALSE(IsWindowEnabled(dialog.interval.hwnd()));
}

}  // namespace
}  // namespace quenlet::test
