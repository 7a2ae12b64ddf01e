// Measurements taken from outside the program: how long its window thread takes to answer, and
// how long it takes from launch until its window is up.
#pragma once

#include <windows.h>

#include <chrono>
#include <string>

namespace e2e {

// Sends WM_NULL to the main window every 10 ms for the given time and prints the number of round
// trips and their 50th and 99th percentiles and maximum in milliseconds. Returns false when the
// window is missing or a round trip failed (hung for the message limit).
bool printNullRoundTripStats(double seconds);

// Flips an input line count times through the rig's line state file (linesPath: the file itself,
// not a link to it; written whole and renamed into place): on with lineName, then off. After
// each flip polls the check box box of the status window every millisecond until it follows and
// prints the median, 90th percentile and maximum delay in milliseconds and how many flips the box
// missed within 2 s. False when the window is missing or the file cannot be written.
bool printLineLatency(const std::string& linesPath, const std::string& lineName, int box, int count);

// The echo a user sees: count times, after a quiet second, writes one byte at the far end of the
// line (peerPath, opened as a file) and polls the length of the main window's control box every
// millisecond until it grows. Prints the median, 90th percentile and maximum delay in milliseconds
// and how many bytes did not show within 2 s. False when the window or the far end is missing.
bool printEchoLatency(const std::string& peerPath, int box, int count);

// Reads the text of control id of the main window every millisecond for the given time and prints
// how many times it changed and the changes per second (the text's readers see it change; the
// program is not sent anything).
bool printTextChanges(int id, double seconds);

// Starts the program and prints the milliseconds until its main window is visible. The program
// keeps running. Returns false when it could not start or no window came within limitMs.
bool launchAndTimeWindow(const std::string& commandLine, unsigned limitMs);

// Opened before an action that ends the program, so its end can be timed from the action.
class ProgramExitWatch {
public:
    // Watches the process that owns window.
    explicit ProgramExitWatch(HWND window);
    ~ProgramExitWatch();
    ProgramExitWatch(const ProgramExitWatch&) = delete;
    ProgramExitWatch& operator=(const ProgramExitWatch&) = delete;

    void start();
    // Waits up to limitMs for the end; prints "exit_code=N exit_ms=T". True when the process
    // ended in time with exit code 0.
    bool waitForCleanExit(unsigned limitMs) const;

private:
    HANDLE process = nullptr;
    std::chrono::steady_clock::time_point started;
};

}  // namespace e2e
