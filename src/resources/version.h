// The product's name and version: read by the resource script (version information) and by the
// code (window title, message-box titles, settings key), so that both always agree.
#pragma once

#define TAVELIN_PRODUCT_NAME "Tavelin"
#define TAVELIN_VERSION_MAJOR 2
#define TAVELIN_VERSION_MINOR 0
#define TAVELIN_VERSION_REVISION 4
#define TAVELIN_FILE_VERSION_TEXT "2.00.0004"
