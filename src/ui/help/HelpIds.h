// Identifiers the help window needs that MinGW-w64's headers declare but its import libraries
// do not define. Own names, so that they never clash with a toolchain that has them.
#pragma once

#include <guiddef.h>

namespace HelpIds {

// The HTML document's event dispinterface (HTMLDocumentEvents2).
inline constexpr GUID kDiidHtmlDocumentEvents2 = {
    0x3050f613, 0x98b5, 0x11cf, {0xbb, 0x82, 0x00, 0xaa, 0x00, 0xbd, 0xce, 0x0b}};

// Dispatch identifiers of the document events the page handles.
inline constexpr long kDispidOnContextMenu = 1023;
inline constexpr long kDispidOnKeyDown = -602;
inline constexpr long kDispidOnKeyPress = -603;

} // namespace HelpIds
