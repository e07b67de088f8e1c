# The application icon: the committed SVG and PNGs in assets/icon are what gets installed.
set(KONF_ICON_DIR ${CMAKE_CURRENT_LIST_DIR})
set(KONF_ICON_SIZES 16 24 32 48 64 128 256)

# Redraws them: cmake --build build --target icon-gen, then build/icon-gen assets/icon.
# Not part of the normal build.
add_executable(icon-gen EXCLUDE_FROM_ALL ${KONF_ICON_DIR}/icon_gen.cpp)
target_link_libraries(icon-gen PRIVATE Qt6::Gui)
# It draws the sizes that are installed, from the list above.
string(REPLACE ";" "," konf_icon_sizes_list "${KONF_ICON_SIZES}")
target_compile_definitions(icon-gen PRIVATE "KONF_ICON_SIZES=${konf_icon_sizes_list}")
