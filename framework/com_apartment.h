// The calling thread's membership of a single-threaded COM apartment, for as long as the object
// lives. A window thread needs one to hand out COM objects, such as the accessible objects screen
// readers ask its windows for (WM_GETOBJECT), and to take the calls made on them.
#pragma once

#include <windows.h>
// windows.h first: objbase.h builds on it.
#include <objbase.h>

namespace quenlet {

class ComApartment {
public:
    // Joins the apartment; a thread already in one stays in it (and is counted once more).
    ComApartment() : joined_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment() {
        if (joined_) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    // False when the thread could not join, e.g. as it belongs to the multi-threaded apartment.
    bool joined() const { return joined_; }

private:
    const bool joined_;
};

}  // namespace quenlet
