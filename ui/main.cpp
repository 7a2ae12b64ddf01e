// The program's entry point.
#include <windows.h>

#include "framework/application.h"
#include "ui/terminal_app.h"

namespace {

quenlet::TerminalApp application;

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return quenlet::RunApplication(instance);
}
