#include "ui/port_settings_dialog.h"

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "core/serial_port.h"
#include "framework/application.h"
#include "res/resource.h"
#include "settings/port_settings.h"
#include "ui/main_dialog.h"

namespace quenlet {
namespace {

// The parity list goes None, Even, Odd, Mark, Space, which is not the numbering of Parity: the
// list and the setting are matched through this table, never by number.
struct ParityChoice {
    const char* text;
    Parity parity;
};
constexpr std::array<ParityChoice, 5> kParityChoices{{
    {"None", Parity::None},
    {"Even", Parity::Even},
    {"Odd", Parity::Odd},
    {"Mark", Parity::Mark},
    {"Space", Parity::Space},
}};

// Indexed by the StopBits and FlowControl numbers.
constexpr std::array<const char*, 3> kStopBitsTexts{"1", "1.5", "2"};
constexpr std::array<const char*, 4> kFlowControlTexts{"None", "XON/XOFF", "RTS/CTS", "DTR/DSR"};

constexpr int kFewestDataBits = 4;
constexpr int kMostDataBits = 8;

// The list's selected index when it is one of the count entries the dialog put there, else -1.
int selectedIndex(const ComboBox& list, size_t count) {
    const int index = list.getCurSel();
    return index >= 0 && static_cast<size_t>(index) < count ? index : -1;
}

void refreshMainWindow() {
    const Application* const application = Application::current();
    if (application == nullptr) return;
    // Without the program's main window around the dialog there is nothing to refresh.
    if (auto* const mainDialog = dynamic_cast<MainDialog*>(application->mainWindow())) {
        mainDialog->RefreshDisplay();
    }
}

}  // namespace

const MessageTable<PortSettingsDialog> PortSettingsDialog::messageTable_ = {
    onCommand(IDC_PORT_SETTINGS_OK, &PortSettingsDialog::OnOkButton),
};

PortSettingsDialog::PortSettingsDialog() : Dialog(IDD_PORT_SETTINGS) {}

PortSettingsDialog::~PortSettingsDialog() = default;

void PortSettingsDialog::DoDataExchange() {
    portList.attach(*this, IDC_PORT_LIST);
    flowControlList.attach(*this, IDC_FLOW_CONTROL_LIST);
    stopBitsList.attach(*this, IDC_STOP_BITS_LIST);
    parityList.attach(*this, IDC_PARITY_LIST);
    dataBitsList.attach(*this, IDC_DATA_BITS_LIST);
    baudRateList.attach(*this, IDC_BAUD_RATE_LIST);
}

BOOL PortSettingsDialog::PreTranslateMessage(MSG* message) {
    // The dialog has no default button, so Enter would end it with IDOK: it does nothing instead.
    if (message->message == WM_KEYDOWN && message->wParam == VK_RETURN) return TRUE;
    return Dialog::PreTranslateMessage(message);
}

BOOL PortSettingsDialog::OnInitDialog() {
    Dialog::OnInitDialog();
    fillPortList();
    fillBaudRateList();
    fillDataBitsList();
    fillParityList();
    fillStopBitsList();
    fillFlowControlList();
    return TRUE;
}

void PortSettingsDialog::fillPortList() {
    // Probed afresh on every opening, so a port plugged in or removed since shows up or vanishes.
    std::vector<std::string> names;
    for (int number = 1; number <= kLastProbedPort; ++number) {
        if (!SerialPort::portExists(number)) continue;
        char name[16];
        std::snprintf(name, sizeof name, "COM%d", number);
        portList.addString(name);
        names.emplace_back(name);
    }
    // Case matters ("com3" is not "COM3"), which the combo box's own search would ignore.
    int selection = 0;
    for (size_t index = 0; index < names.size(); ++index) {
        if (names[index] == g_settings.portName) {
            selection = static_cast<int>(index);
            break;
        }
    }
    if (!names.empty()) portList.setCurSel(selection);
}

void PortSettingsDialog::fillBaudRateList() {
    for (size_t index = 0; index < kBaudRates.size(); ++index) {
        baudRateList.addString(kBaudRates[index].text);
        if (kBaudRates[index].rate == g_settings.baudRate) baudRateList.setCurSel(static_cast<int>(index));
    }
}

void PortSettingsDialog::fillDataBitsList() {
    for (int bits = kFewestDataBits; bits <= kMostDataBits; ++bits) {
        char text[8];
        std::snprintf(text, sizeof text, "%d", bits);
        dataBitsList.addString(text);
    }
    // A value outside 4..8 leaves the usual 8 selected.
    dataBitsList.setCurSel(kMostDataBits - kFewestDataBits);
    if (g_settings.dataBits >= kFewestDataBits && g_settings.dataBits <= kMostDataBits) {
        dataBitsList.setCurSel(g_settings.dataBits - kFewestDataBits);
    }
}

void PortSettingsDialog::fillParityList() {
    for (size_t index = 0; index < kParityChoices.size(); ++index) {
        parityList.addString(kParityChoices[index].text);
        if (kParityChoices[index].parity == g_settings.parity) parityList.setCurSel(static_cast<int>(index));
    }
}

void PortSettingsDialog::fillStopBitsList() {
    for (const char* const text : kStopBitsTexts) stopBitsList.addString(text);
    const auto number = static_cast<size_t>(g_settings.stopBits);
    if (number < kStopBitsTexts.size()) stopBitsList.setCurSel(static_cast<int>(number));
}

void PortSettingsDialog::fillFlowControlList() {
    for (const char* const text : kFlowControlTexts) flowControlList.addString(text);
    const auto number = static_cast<size_t>(g_settings.flowControl);
    if (number < kFlowControlTexts.size()) flowControlList.setCurSel(static_cast<int>(number));
}

void PortSettingsDialog::OnOkButton() {
    // The list's own text, as shown; a port name longer than 9 characters is cut there.
    char portName[10] = {};
    if (portList.getCurSel() != CB_ERR) portList.getWindowText(portName, sizeof portName);
    g_settings.portName = portName;

    // A list with nothing selected leaves its setting as it was.
    if (const int index = selectedIndex(baudRateList, kBaudRates.size()); index >= 0) {
        g_settings.baudRate = kBaudRates[static_cast<size_t>(index)].rate;
    }
    if (const int index = selectedIndex(dataBitsList, kMostDataBits - kFewestDataBits + 1); index >= 0) {
        g_settings.dataBits = kFewestDataBits + index;
    }
    if (const int index = selectedIndex(parityList, kParityChoices.size()); index >= 0) {
        g_settings.parity = kParityChoices[static_cast<size_t>(index)].parity;
    }
    if (const int index = selectedIndex(stopBitsList, kStopBitsTexts.size()); index >= 0) {
        g_settings.stopBits = static_cast<StopBits>(index);
    }
    if (const int index = selectedIndex(flowControlList, kFlowControlTexts.size()); index >= 0) {
        g_settings.flowControl = static_cast<FlowControl>(index);
    }

    refreshMainWindow();
    OnOK();
}

}  // namespace quenlet
