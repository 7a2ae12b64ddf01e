#include "support/controller_fixture.h"

#include <chrono>

#include <cstdio>

#include "framework/message_box.h"
#include "res/resource.h"
#include "settings/port_settings.h"
#include "ui/receive_view.h"

namespace quenlet::test {

namespace {

constexpr char kCounterProperty[] = "Quenlet.Test.MessageCounter";

}  // namespace

HostDialog::HostDialog() : Dialog(IDD_MAIN) { registerReceiveViewClass(GetModuleHandleA(nullptr)); }

const MessageTable<HostDialog> HostDialog::messageTable_ = {
    onTimer(&HostDialog::OnTimer),
};

PeerCollector::PeerCollector(NullModemPeer& peer) : peer_(peer) {
    thread_.reset(CreateThread(nullptr, 0, &PeerCollector::run, this, 0, nullptr));
}

PeerCollector::~PeerCollector() {
    stop_ = true;
    WaitForSingleObject(thread_.get(), 10000);
}

DWORD WINAPI PeerCollector::run(void* self) {
    auto& collector = *static_cast<PeerCollector*>(self);
    while (!collector.stop_) {
        const auto got = collector.peer_.read(64 * 1024, std::chrono::milliseconds(5));
        if (got.empty()) continue;
        CriticalSectionLock lock(collector.lock_);
        collector.received_.insert(collector.received_.end(), got.begin(), got.end());
    }
    return 0;
}

size_t PeerCollector::size() {
    CriticalSectionLock lock(lock_);
    return received_.size();
}

std::vector<std::uint8_t> PeerCollector::bytes() {
    CriticalSectionLock lock(lock_);
    return received_;
}

MessageCounter::MessageCounter(HWND window, UINT message) : window_(window), message_(message) {
    SetPropA(window_, kCounterProperty, this);
    original_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MessageCounter::procedure)));
}

InjectedFaults::InjectedFaults(DeviceCall call, InjectedAnswer answer, int times) : first_(call) {
    add(call, answer, times);
    setDeviceFaultHook([this](DeviceCall asked) { return this->answer(asked); });
}

InjectedFaults::~InjectedFaults() { setDeviceFaultHook({}); }

void InjectedFaults::add(DeviceCall call, InjectedAnswer answer, int times) {
    CriticalSectionLock guard(lock_);
    rules_.push_back(Rule{call, answer, times});
}

void InjectedFaults::withdraw(DeviceCall call) {
    CriticalSectionLock guard(lock_);
    for (Rule& rule : rules_) {
        if (rule.call == call) rule.times = rule.used;
    }
}

int InjectedFaults::used(DeviceCall call) const {
    CriticalSectionLock guard(lock_);
    int total = 0;
    for (const Rule& rule : rules_) {
        if (rule.call == call) total += rule.used;
    }
    return total;
}

InjectedAnswer InjectedFaults::answer(DeviceCall call) {
    CriticalSectionLock guard(lock_);
    for (Rule& rule : rules_) {
        if (rule.call != call || (rule.times >= 0 && rule.used >= rule.times)) continue;
        ++rule.used;
        return rule.answer;
    }
    return {};
}

ResponsivenessProbe::ResponsivenessProbe(HWND window) : window_(window) {
    thread_.reset(CreateThread(nullptr, 0, &ResponsivenessProbe::run, this, 0, nullptr));
}

ResponsivenessProbe::~ResponsivenessProbe() {
    stop_ = true;
    if (thread_.valid()) WaitForSingleObject(thread_.get(), INFINITE);
}

DWORD WINAPI ResponsivenessProbe::run(void* self) {
    auto& probe = *static_cast<ResponsivenessProbe*>(self);
    while (!probe.stop_) {
        const auto asked = std::chrono::steady_clock::now();
        DWORD_PTR result = 0;
        // A window that does not answer within 10 s counts as the full 10 s.
        SendMessageTimeoutA(probe.window_, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
        const double waited = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - asked).count();
        if (waited > probe.longestMs_) probe.longestMs_ = waited;
        ++probe.answers_;
        Sleep(10);
    }
    return 0;
}

MessageCounter::~MessageCounter() {
    SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
    RemovePropA(window_, kCounterProperty);
}

LRESULT CALLBACK MessageCounter::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* counter = static_cast<MessageCounter*>(GetPropA(window, kCounterProperty));
    if (message == counter->message_) {
        ++counter->count_;
        if ((message == EM_REPLACESEL || message == WM_SETTEXT) && lParam != 0) {
            counter->texts_.emplace_back(reinterpret_cast<const char*>(lParam));
        }
    }
    return CallWindowProcA(counter->original_, window, message, wParam, lParam);
}

TempFile::TempFile() {
    char directory[MAX_PATH] = {};
    char name[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, directory);
    GetTempFileNameA(directory, "qnl", 0, name);  // creates an empty file
    DeleteFileA(name);
    path_ = name;
}

TempFile::TempFile(const std::vector<std::uint8_t>& contents) : TempFile() {
    if (FILE* file = std::fopen(path_.c_str(), "wb")) {
        if (!contents.empty()) std::fwrite(contents.data(), 1, contents.size(), file);
        std::fclose(file);
    }
}

TempFile::~TempFile() { DeleteFileA(path_.c_str()); }

std::vector<std::uint8_t> TempFile::contents() const {
    std::vector<std::uint8_t> bytes;
    if (FILE* file = std::fopen(path_.c_str(), "rb")) {
        std::uint8_t block[4096];
        for (size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) {
            bytes.insert(bytes.end(), block, block + got);
        }
        std::fclose(file);
    }
    return bytes;
}

void ControllerTest::SetUp() {
    ASSERT_FALSE(rigDirectory().empty()) << "the serial rig is not up (QUENLET_RIG_DIR)";
    ASSERT_TRUE(peer.isOpen());
    setModemLines(testPortNumber(), {});
    g_settings = PortSettings();
    ASSERT_EQ(g_settings.portName, testPortName());
    setMessageBoxHook([this](HWND, const char* text, const char*) {
        CriticalSectionLock lock(messagesLock_);
        messages.emplace_back(text);
    });
    host = std::make_unique<HostDialog>();
    ASSERT_TRUE(host->Create(nullptr));
    controller = std::make_unique<PortController>(host.get());
    host->controller = controller.get();
    ASSERT_TRUE(controller->workersStarted());
    controller->createToolBar();
    controller->refreshDisplay();
}

void ControllerTest::TearDown() {
    if (host) host->controller = nullptr;
    controller.reset();
    host.reset();
    setMessageBoxHook({});
    tempFiles_.clear();
}

std::string ControllerTest::itemText(int id) const { return host->itemText(id); }

void ControllerTest::setItemText(int id, const char* text) const { host->setItemText(id, text); }

bool ControllerTest::isEnabled(int id) const { return IsWindowEnabled(host->item(id)) != FALSE; }

bool ControllerTest::isChecked(int id) const { return host->isChecked(id); }

std::vector<std::string> ControllerTest::recordedMessages() {
    CriticalSectionLock lock(messagesLock_);
    return messages;
}

size_t ControllerTest::messageCount() {
    CriticalSectionLock lock(messagesLock_);
    return messages.size();
}

const TempFile& ControllerTest::newTempFile(const std::vector<std::uint8_t>& contents) {
    return *tempFiles_.emplace_back(std::make_unique<TempFile>(contents));
}

const TempFile& ControllerTest::newTempName() { return *tempFiles_.emplace_back(std::make_unique<TempFile>()); }

void ControllerTest::openPort() {
    controller->openPort();
    ASSERT_TRUE(controller->serialPort().isOpen()) << (messages.empty() ? "" : messages.back());
}

void ControllerTest::startLoop(const char* text, const char* interval) {
    setItemText(IDC_SEND_BOX, text);
    CheckDlgButton(host->hwnd(), IDC_LOOPS, BST_CHECKED);
    controller->refreshLoopControls();
    setItemText(IDC_LOOP_INTERVAL, interval);
    controller->onSendButton();
}

bool ControllerTest::pumpUntilSendStalls(std::chrono::milliseconds quiet, std::chrono::milliseconds limit,
                                         std::int64_t& stoodAt) {
    stoodAt = -1;
    auto lastChange = std::chrono::steady_clock::now();
    return pumpUntil(
        [&] {
            const auto now = std::chrono::steady_clock::now();
            if (controller->sentCount() != stoodAt) {
                stoodAt = controller->sentCount();
                lastChange = now;
            }
            return stoodAt > 0 && now - lastChange > quiet;
        },
        limit);
}

}  // namespace quenlet::test
