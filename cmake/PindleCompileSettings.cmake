# Settings every Pindle target links: language level, warnings, Qt's strictness macros and the
# optional sanitizers. An interface target keeps them per target instead of global flags.
add_library(pindle_compile_settings INTERFACE)
target_compile_features(pindle_compile_settings INTERFACE cxx_std_20)
target_compile_options(pindle_compile_settings INTERFACE
    -Wall -Wextra -Wpedantic
    $<$<BOOL:${PINDLE_WERROR}>:-Werror>)
target_compile_definitions(pindle_compile_settings INTERFACE
    QT_NO_CAST_TO_ASCII
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_KEYWORDS
    QT_NO_FOREACH
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_USE_QSTRINGBUILDER)

if(PINDLE_SANITIZE)
    target_compile_options(pindle_compile_settings INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(pindle_compile_settings INTERFACE -fsanitize=address,undefined)
endif()

# Product code also refuses implicit conversions from 8-bit strings, so every text is typed as
# UTF-16 or Latin-1 on purpose. Tests keep their data readable and may use plain literals.
add_library(pindle_product_settings INTERFACE)
target_link_libraries(pindle_product_settings INTERFACE pindle_compile_settings)
target_compile_definitions(pindle_product_settings INTERFACE QT_NO_CAST_FROM_ASCII)
