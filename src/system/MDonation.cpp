#include "system/MDonation.h"

#include <windows.h>

#include "system/MShellExec.h"
#include "core/Product.h"

namespace {

// The payment service's donation host, and the account the donations go to. The account is a
// placeholder until the project has one of its own.
constexpr std::string_view kDonationHost = "https://www.paypal.com";
constexpr std::string_view kDonationAccount = "donations@tavelin.example.org";

// Percent-encodes everything but unreserved characters, so that "@" and blanks survive the
// query string.
std::string PercentEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '~';
        if (unreserved) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

} // namespace

std::string MDonation::Address(std::string_view lc) {
    const std::string product = PercentEncode(Product::kName);
    std::string url(kDonationHost);
    url += "/cgi-bin/webscr?cmd=_donations&business=";
    url += PercentEncode(kDonationAccount);
    url += "&item_name=" + product;
    url += "&item_number=" + product;
    url += "&page_style=PayPal&no_shipping=1&cn=Mitteilung%20%28optional%29&tax=0"
           "&currency_code=EUR&lc=";
    url += lc;
    url += "&bn=PP%2dDonationsBF&charset=UTF%2d8";
    return url;
}

bool MDonation::OpenPage(const std::string& lc) {
    return MShellExec::ShellExec("", MDonation::Address(lc), "", "", SW_SHOWNORMAL);
}
