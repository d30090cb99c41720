#include "ui/msgbox/AddressBox.h"

#include "ui/msgbox/MCenterMBX.h"

namespace AddressBox {

std::string Notice(const std::string& address, const std::string& langCode) {
    if (langCode == "DE")
        return "Tavelin läuft mit vollen Administratorrechten und öffnet die folgende Adresse "
               "deshalb nicht selbst: ein so gestarteter Browser hätte dieselben Rechte.\r\n\r\n" +
               address +
               "\r\n\r\nStrg+C kopiert den Text dieses Fensters; fügen Sie die Adresse in Ihren "
               "Browser oder Ihr E-Mail-Programm ein.";
    return "Tavelin runs with full administrator rights and therefore does not open the following "
           "address itself: a browser started that way would have the same rights.\r\n\r\n" +
           address +
           "\r\n\r\nCtrl+C copies the text of this box; paste the address into your browser or "
           "e-mail program.";
}

void Show(const std::string& address, const std::string& langCode, HWND owner) {
    std::string title;
    MCenterMBX::CenteredMsgBox(Notice(address, langCode), MB_OK | MB_ICONINFORMATION, title, owner);
}

} // namespace AddressBox
