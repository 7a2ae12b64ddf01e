// quenlet_driver: drives a running Quenlet from scripts. It runs in the same Wine session as the
// program, finds its windows and works them with window messages, prints what it reads and
// reports through its exit status: 0 done, 1 the condition did not hold in time, 2 bad use or no
// such window.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "driver_dialogs.h"
#include "driver_timing.h"
#include "driver_windows.h"

namespace {

using e2e::Milliseconds;

constexpr int kDone = 0;
constexpr int kNotMet = 1;
constexpr int kBadUse = 2;

constexpr char kUsage[] =
    "usage: quenlet_driver [--in main|status|CAPTION] COMMAND ARGS...\n"
    "  wait-window MS                    until the main window is visible\n"
    "  wait-no-window MS                 until no main window exists\n"
    "  command ID [--wait-exit MS]       post WM_COMMAND ID to the main window (and time the\n"
    "                                    program's end: exit code 0 within MS)\n"
    "  close [--wait-exit MS]            post SC_CLOSE to the main window, as the taskbar's Close\n"
    "                                    does (and time the program's end)\n"
    "  click ID                          press button ID (posted)\n"
    "  set-text ID TEXT | set-text-file ID PATH   (a long file goes into an edit box in parts)\n"
    "  set-text-file-whole ID PATH       the file's text in one WM_SETTEXT, however long\n"
    "  get-text ID                       print the text (ID 0: the window's caption)\n"
    "  wait-text ID REGEX MS             until the text matches; prints it\n"
    "  get-check ID | wait-check ID 0|1 MS\n"
    "  receive-mode ascii|hex|fileonly [CAPTURE_PATH]\n"
    "  send-mode ascii|hex|file [PATH]\n"
    "  port-settings [--port COMn] BAUD [DATABITS PARITY STOPBITS FLOW]  as the Port Settings lists\n"
    "                                    name them\n"
    "  wait-message REGEX MS             until a message box whose text matches is shown\n"
    "  dismiss-message MS [--wait-exit MS] press OK on the message box (waits for one); prints its text\n"
    "  no-message                        fails when a message box is shown\n"
    "  null-roundtrip-stats SECONDS      WM_NULL round trips: count, p50, p99, max\n"
    "  line-latency LINES_FILE LINE ID COUNT  flip an input line, time the status box ID following\n"
    "  text-changes ID SECONDS           how often the main window's control ID changes its text\n"
    "  echo-latency PEER ID COUNT        write a byte at the far end PEER, time control ID growing\n"
    "  launch-timed MS COMMAND_LINE...   start a program, print ms until its window is visible\n"
    "Paths starting with / are taken as Unix paths (drive Z:).\n";

int badUse(const char* why) {
    std::fprintf(stderr, "quenlet_driver: %s\n%s", why, kUsage);
    return kBadUse;
}

std::string windowsPath(std::string path) {
    if (path.empty() || path[0] != '/') return path;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return "Z:" + path;
}

bool parseInt(const std::string& text, long& value) {
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && end != nullptr && *end == '\0';
}

// The window the control commands act on.
HWND targetWindow(const std::string& selector) {
    if (selector == "main") return e2e::findMainWindow(false);
    if (selector == "status") return e2e::findStatusWindow();
    return e2e::findDialog(selector, false);
}

// Control ID of the target, or the target itself for 0.
HWND control(HWND target, long id) { return id == 0 ? target : GetDlgItem(target, static_cast<int>(id)); }

class Driver {
public:
    Driver(std::string selector, std::vector<std::string> arguments)
        : selector(std::move(selector)), args(std::move(arguments)) {}

    int run() {
        if (args.empty()) return badUse("no command");
        const std::string& name = args[0];
        if (name == "wait-window") return waitWindow(true);
        if (name == "wait-no-window") return waitWindow(false);
        if (name == "receive-mode") return receiveMode();
        if (name == "send-mode") return sendMode();
        if (name == "port-settings") return portSettings();
        if (name == "wait-message") return waitMessage();
        if (name == "dismiss-message") return dismissMessage();
        if (name == "no-message") return noMessage();
        if (name == "null-roundtrip-stats") return nullStats();
        if (name == "launch-timed") return launchTimed();
        if (name == "line-latency") return lineLatency();
        if (name == "text-changes") return textChanges();
        if (name == "echo-latency") return echoLatency();
        if (name == "close") return closeWindow();
        return controlCommand(name);
    }

private:
    bool number(size_t index, long& value) const { return index < args.size() && parseInt(args[index], value); }
    Milliseconds limit(size_t index) const {
        long value = 0;
        return Milliseconds(number(index, value) && value > 0 ? value : 0);
    }

    int waitWindow(bool present) {
        if (args.size() != 2 || limit(1).count() == 0) return badUse("wait-window needs a limit in ms");
        const bool met = e2e::waitFor(
            [&] { return (e2e::findMainWindow(present) != nullptr) == present; }, limit(1));
        if (!met) std::fprintf(stderr, present ? "no Quenlet window\n" : "the Quenlet window is still there\n");
        return met ? kDone : kNotMet;
    }

    int closeWindow() {
        const bool timeExit = args.size() == 3 && args[1] == "--wait-exit" && limit(2).count() > 0;
        if (args.size() != 1 && !timeExit) return badUse("close [--wait-exit MS]");
        // Hidden too: while a message box is up the window may be disabled, never gone.
        const HWND main = e2e::findMainWindow(false);
        if (main == nullptr) {
            std::fprintf(stderr, "no Quenlet window\n");
            return kBadUse;
        }
        e2e::ProgramExitWatch watch(main);
        watch.start();
        if (!PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0)) return kNotMet;
        if (!timeExit) return kDone;
        return watch.waitForCleanExit(static_cast<unsigned>(limit(2).count())) ? kDone : kNotMet;
    }

    int receiveMode() {
        if (args.size() < 2 || args.size() > 3) return badUse("receive-mode ascii|hex|fileonly [PATH]");
        e2e::ReceiveChoice choice{};
        if (args[1] == "ascii") choice = e2e::ReceiveChoice::Ascii;
        else if (args[1] == "hex") choice = e2e::ReceiveChoice::Hex;
        else if (args[1] == "fileonly") choice = e2e::ReceiveChoice::FileOnly;
        else return badUse("unknown receive mode");
        const std::string path = args.size() == 3 ? windowsPath(args[2]) : std::string();
        if (choice == e2e::ReceiveChoice::FileOnly && path.empty()) return badUse("fileonly needs a path");
        return report(e2e::chooseReceiveMode(choice, path));
    }

    int sendMode() {
        if (args.size() < 2 || args.size() > 3) return badUse("send-mode ascii|hex|file [PATH]");
        e2e::SendChoice choice{};
        if (args[1] == "ascii") choice = e2e::SendChoice::Ascii;
        else if (args[1] == "hex") choice = e2e::SendChoice::Hex;
        else if (args[1] == "file") choice = e2e::SendChoice::File;
        else return badUse("unknown send mode");
        const std::string path = args.size() == 3 ? windowsPath(args[2]) : std::string();
        if (choice == e2e::SendChoice::File && path.empty()) return badUse("file needs a path");
        return report(e2e::chooseSendMode(choice, path));
    }

    int portSettings() {
        e2e::PortChoice choice;
        size_t first = 1;
        if (args.size() > 2 && args[1] == "--port") {
            choice.portName = args[2];
            first = 3;
        }
        const size_t count = args.size() - first;
        if (count != 1 && count != 5) return badUse("port-settings [--port COMn] BAUD [DATABITS PARITY STOPBITS FLOW]");
        choice.baudRate = args[first];
        if (count == 5) {
            choice.dataBits = args[first + 1];
            choice.parity = args[first + 2];
            choice.stopBits = args[first + 3];
            choice.flowControl = args[first + 4];
        }
        return report(e2e::choosePortSettings(choice));
    }

    static int report(const std::string& failure) {
        if (failure.empty()) return kDone;
        std::fprintf(stderr, "%s\n", failure.c_str());
        return kNotMet;
    }

    int waitMessage() {
        if (args.size() != 3 || limit(2).count() == 0) return badUse("wait-message REGEX MS");
        const std::regex pattern(args[1]);
        std::string text;
        const bool met = e2e::waitFor(
            [&] {
                const HWND box = e2e::findMessageBox();
                text = box != nullptr ? e2e::messageBoxText(box) : std::string();
                return box != nullptr && std::regex_search(text, pattern);
            },
            limit(2));
        std::printf("%s\n", text.c_str());
        return met ? kDone : kNotMet;
    }

    int dismissMessage() {
        const bool timeExit = args.size() == 4 && args[2] == "--wait-exit" && limit(3).count() > 0;
        if ((args.size() != 2 && !timeExit) || limit(1).count() == 0) {
            return badUse("dismiss-message MS [--wait-exit MS]");
        }
        HWND box = nullptr;
        if (!e2e::waitFor([&] { return (box = e2e::findMessageBox()) != nullptr; }, limit(1))) {
            std::fprintf(stderr, "no message box\n");
            return kNotMet;
        }
        std::printf("%s\n", e2e::messageBoxText(box).c_str());
        e2e::ProgramExitWatch watch(box);
        watch.start();
        if (!e2e::postClick(GetDlgItem(box, IDOK))) return kNotMet;
        if (timeExit) return watch.waitForCleanExit(static_cast<unsigned>(limit(3).count())) ? kDone : kNotMet;
        return e2e::waitFor([&] { return !IsWindow(box); }, limit(1)) ? kDone : kNotMet;
    }

    int noMessage() {
        const HWND box = e2e::findMessageBox();
        if (box == nullptr) return kDone;
        std::printf("%s\n", e2e::messageBoxText(box).c_str());
        return kNotMet;
    }

    int nullStats() {
        char* end = nullptr;
        const double seconds = args.size() == 2 ? std::strtod(args[1].c_str(), &end) : 0.0;
        if (seconds <= 0.0) return badUse("null-roundtrip-stats SECONDS");
        return e2e::printNullRoundTripStats(seconds) ? kDone : kNotMet;
    }

    int lineLatency() {
        long box = 0;
        long count = 0;
        if (args.size() != 5 || !number(3, box) || !number(4, count) || count <= 0)
            return badUse("line-latency LINES_FILE LINE ID COUNT");
        return e2e::printLineLatency(windowsPath(args[1]), args[2], static_cast<int>(box), static_cast<int>(count))
                   ? kDone
                   : kNotMet;
    }

    int echoLatency() {
        long box = 0;
        long count = 0;
        if (args.size() != 4 || !number(2, box) || !number(3, count) || count <= 0)
            return badUse("echo-latency PEER ID COUNT");
        return e2e::printEchoLatency(windowsPath(args[1]), static_cast<int>(box), static_cast<int>(count)) ? kDone
                                                                                                          : kNotMet;
    }

    int textChanges() {
        long id = 0;
        char* end = nullptr;
        const double seconds = args.size() == 3 ? std::strtod(args[2].c_str(), &end) : 0.0;
        if (!number(1, id) || seconds <= 0.0) return badUse("text-changes ID SECONDS");
        return e2e::printTextChanges(static_cast<int>(id), seconds) ? kDone : kNotMet;
    }

    int launchTimed() {
        if (args.size() < 3 || limit(1).count() == 0) return badUse("launch-timed MS COMMAND_LINE...");
        std::string line;
        for (size_t i = 2; i < args.size(); ++i) line += (i > 2 ? " " : "") + windowsPath(args[i]);
        return e2e::launchAndTimeWindow(line, static_cast<unsigned>(limit(1).count())) ? kDone : kNotMet;
    }

    // Commands that act on one control of the target window.
    int controlCommand(const std::string& name) {
        long id = 0;
        if (!number(1, id)) return badUse("expected a command and a control id");
        const HWND target = targetWindow(selector);
        if (target == nullptr) {
            std::fprintf(stderr, "no %s window\n", selector.c_str());
            return kBadUse;
        }
        if (name == "command" && args.size() == 2) {
            return PostMessageA(target, WM_COMMAND, MAKEWPARAM(id, 0), 0) ? kDone : kNotMet;
        }
        if (name == "command" && args.size() == 4 && args[2] == "--wait-exit" && limit(3).count() > 0) {
            e2e::ProgramExitWatch watch(target);
            watch.start();
            if (!PostMessageA(target, WM_COMMAND, MAKEWPARAM(id, 0), 0)) return kNotMet;
            return watch.waitForCleanExit(static_cast<unsigned>(limit(3).count())) ? kDone : kNotMet;
        }
        const HWND item = control(target, id);
        if (item == nullptr) {
            std::fprintf(stderr, "no control %ld in the %s window\n", id, selector.c_str());
            return kBadUse;
        }
        if (name == "click" && args.size() == 2) return e2e::postClick(item) ? kDone : kNotMet;
        if (name == "set-text" && args.size() == 3) return e2e::setWindowText(item, args[2]) ? kDone : kNotMet;
        if (name == "set-text-file" && args.size() == 3) return setTextFromFile(item, windowsPath(args[2]));
        if (name == "set-text-file-whole" && args.size() == 3) return setTextFromFile(item, windowsPath(args[2]), true);
        if (name == "get-text" && args.size() == 2) return printText(item);
        if (name == "wait-text" && args.size() == 4) return waitText(item, std::regex(args[2]), limit(3));
        if (name == "get-check" && args.size() == 2) return printCheck(item);
        if (name == "wait-check" && args.size() == 4) return waitCheck(item, args[2] == "1", limit(3));
        return badUse("unknown command or wrong arguments");
    }

    static int setTextFromFile(HWND item, const std::string& path, bool inOneMessage = false) {
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "cannot read %s\n", path.c_str());
            return kBadUse;
        }
        const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (inOneMessage) return e2e::setWindowText(item, text) ? kDone : kNotMet;
        return e2e::setLongEditText(item, text) ? kDone : kNotMet;
    }

    static int printText(HWND item) {
        const auto text = e2e::windowText(item);
        if (!text) return kNotMet;
        std::printf("%s\n", text->c_str());
        return kDone;
    }

    static int waitText(HWND item, const std::regex& pattern, Milliseconds within) {
        std::string last;
        const bool met = e2e::waitFor(
            [&] {
                const auto text = e2e::windowText(item);
                last = text.value_or(std::string());
                return text && std::regex_search(last, pattern);
            },
            within);
        std::printf("%s\n", last.c_str());
        return met ? kDone : kNotMet;
    }

    static int printCheck(HWND item) {
        const auto state = e2e::checkState(item);
        if (!state) return kNotMet;
        std::printf("%d\n", *state);
        return kDone;
    }

    static int waitCheck(HWND item, bool wanted, Milliseconds within) {
        int last = -1;
        const bool met = e2e::waitFor(
            [&] {
                last = e2e::checkState(item).value_or(-1);
                return last == (wanted ? BST_CHECKED : BST_UNCHECKED);
            },
            within);
        std::printf("%d\n", last);
        return met ? kDone : kNotMet;
    }

    std::string selector;
    std::vector<std::string> args;
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    std::string selector = "main";
    if (arguments.size() >= 2 && arguments[0] == "--in") {
        selector = arguments[1];
        arguments.erase(arguments.begin(), arguments.begin() + 2);
    }
    return Driver(selector, arguments).run();
}
