// The modal "About" box: program name and version, a notice line, and two links, one to the web
// address and one to the support mail address. Built on the stack of the command that shows it;
// the links' visited colour lasts for one opening.
#pragma once

#include <type_traits>

#include "framework/dialog.h"
#include "res/resource.h"
#include "ui/hyper_link.h"

namespace quenlet {

// Turns the address lines of an open About window into links and gives them their targets.
void attachAboutLinks(const Dialog& dialog, HyperLink& webLink, HyperLink& mailLink);

// Link is the kind of link the address lines become; the program uses HyperLink itself.
template <class Link>
class BasicAboutDialog : public Dialog {
    static_assert(std::is_base_of_v<HyperLink, Link>);

public:
    BasicAboutDialog() : Dialog(IDD_ABOUT) {}
    ~BasicAboutDialog() override = default;

    BOOL OnInitDialog() override {
        Dialog::OnInitDialog();
        attachAboutLinks(*this, webLink, mailLink);
        return TRUE;
    }

protected:
    // Controls 1005 and 1006; they outlive the window, whose destruction already released them.
    Link webLink;
    Link mailLink;
};

using AboutDialog = BasicAboutDialog<HyperLink>;

}  // namespace quenlet
