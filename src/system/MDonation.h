// The donation page: its address, built for the user's language, and opening it.
#pragma once

#include <string>
#include <string_view>

namespace MDonation {

// lc: "DE" or "EN", passed to the payment page as its language.
std::string Address(std::string_view lc);

// Opens the page in the user's browser in a normal window: a hidden show state, passed on by
// the shell, leaves a browser started through COM invisible. False when no shell took it: the
// caller shows the address.
bool OpenPage(const std::string& lc);

} // namespace MDonation
