// The program's version: the one place it is set. The resource script
// builds its version block from these; read it from here, not from copies.
#pragma once

#define ZALO_VERSION_MAJOR 0
#define ZALO_VERSION_MINOR 9
#define ZALO_VERSION_PATCH 0
#define ZALO_VERSION_BUILD 0

#define ZALO_STRINGIZE_(x) #x
#define ZALO_STRINGIZE(x) ZALO_STRINGIZE_(x)
// "0.9.0.0"
#define ZALO_VERSION_TEXT                                                       \
    ZALO_STRINGIZE(ZALO_VERSION_MAJOR) "." ZALO_STRINGIZE(ZALO_VERSION_MINOR) "." \
    ZALO_STRINGIZE(ZALO_VERSION_PATCH) "." ZALO_STRINGIZE(ZALO_VERSION_BUILD)
