# Shared compile settings for every target of the project.
add_library(vorlane_common_cfg INTERFACE)
target_compile_features(vorlane_common_cfg INTERFACE cxx_std_17)
target_compile_options(vorlane_common_cfg INTERFACE
    -Wall -Wextra -pedantic -Wold-style-cast -Wnon-virtual-dtor)
target_compile_definitions(vorlane_common_cfg INTERFACE
    QT_NO_KEYWORDS
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_CAST_FROM_BYTEARRAY
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_USE_QSTRINGBUILDER
    VORLANE_VERSION="${PROJECT_VERSION}")
