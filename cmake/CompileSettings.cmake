# ondrix_settings: the compile settings every target of the project links.
# Included by the top-level project and by the fuzzers' own project.
include_guard(GLOBAL)

option(ONDRIX_WERROR "Treat compiler warnings as errors (the test command sets it)" OFF)

add_library(ondrix_settings INTERFACE)
target_compile_features(ondrix_settings INTERFACE cxx_std_20)
target_compile_options(ondrix_settings INTERFACE -Wall -Wextra -Wpedantic $<$<BOOL:${ONDRIX_WERROR}>:-Werror>)
# Qt's stricter string and URL conversions, as far as the code allows: no
# implicit QString to char * or QString to QUrl, no narrowing in connect().
# Implicit char * to QString (QT_NO_CAST_FROM_ASCII) stays allowed: test data
# is written as plain literals throughout.
target_compile_definitions(ondrix_settings INTERFACE
    QT_NO_CAST_TO_ASCII
    QT_NO_CAST_FROM_BYTEARRAY
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_FOREACH)
