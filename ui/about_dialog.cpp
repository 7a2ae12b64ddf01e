#include "ui/about_dialog.h"

namespace quenlet {

void attachAboutLinks(const Dialog& dialog, HyperLink& webLink, HyperLink& mailLink) {
    // Sized to their text, so only the text is clickable. A line that cannot become a link stays
    // plain text; the box is still worth showing.
    webLink.Attach(dialog.item(IDC_WEB_LINK), true);
    mailLink.Attach(dialog.item(IDC_MAIL_LINK), true);
    webLink.SetURL(QUENLET_WEB_ADDRESS);
    mailLink.SetURL("mailto: " QUENLET_SUPPORT_ADDRESS);
}

}  // namespace quenlet
