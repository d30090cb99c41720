// The address of the donation page, built for the user's language.
#pragma once

#include <string>
#include <string_view>

// lc: "DE" or "EN", passed to the payment page as its language.
std::string DonationAddress(std::string_view lc);
