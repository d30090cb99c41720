#include "ui/msgbox/MAddressBox.h"

#include "ui/msgbox/MCenterMBX.h"

namespace MAddressBox {

std::string Notice(const std::string& address, Language lang) {
    return Pick(lang,
                "Tavelin läuft mit vollen Administratorrechten und öffnet die folgende Adresse "
                "deshalb nicht selbst: ein so gestarteter Browser hätte dieselben Rechte.\r\n\r\n",
                "Tavelin runs with full administrator rights and therefore does not open the "
                "following address itself: a browser started that way would have the same "
                "rights.\r\n\r\n") +
           address +
           Pick(lang,
                "\r\n\r\nStrg+C kopiert den Text dieses Fensters; fügen Sie die Adresse in Ihren "
                "Browser oder Ihr E-Mail-Programm ein.",
                "\r\n\r\nCtrl+C copies the text of this box; paste the address into your browser "
                "or e-mail program.");
}

void Show(const std::string& address, Language lang, HWND owner) {
    MCenterMBX::CenteredMsgBox(Notice(address, lang), MB_OK | MB_ICONINFORMATION, {}, owner);
}

} // namespace MAddressBox
