# One interface target carries the language standard, the warnings and the Qt
# hygiene defines; every target links it instead of repeating flags.
add_library(tarvino_options INTERFACE)
target_compile_features(tarvino_options INTERFACE cxx_std_20)
set_target_properties(tarvino_options PROPERTIES INTERFACE_CXX_EXTENSIONS OFF)

if(MSVC)
  target_compile_options(tarvino_options INTERFACE /W4 /utf-8 /permissive-)
else()
  target_compile_options(tarvino_options INTERFACE -Wall -Wextra -Wpedantic -Wno-missing-field-initializers)
endif()

target_compile_definitions(tarvino_options INTERFACE
  QT_NO_CONTEXTLESS_CONNECT
  QT_NO_KEYWORDS
  QT_DISABLE_DEPRECATED_UP_TO=0x060000
  UNICODE _UNICODE)

set(CMAKE_EXPORT_COMPILE_COMMANDS ON)
