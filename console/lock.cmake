# The lock screen panel, the unlock code and the padlock picture it shows.
set(KONF_PADLOCK_DIR ${CMAKE_CURRENT_SOURCE_DIR}/../assets/padlock)
set(KONF_PADLOCK_CPP ${CMAKE_CURRENT_BINARY_DIR}/padlock_jpeg.cpp)

# The picture travels inside the program: its bytes become a generated source file.
add_custom_command(
  OUTPUT ${KONF_PADLOCK_CPP}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${KONF_PADLOCK_DIR}/padlock.jpg -DOUTPUT=${KONF_PADLOCK_CPP}
          -DSYMBOL=konf_padlock_jpeg -P ${KONF_PADLOCK_DIR}/embed.cmake
  DEPENDS ${KONF_PADLOCK_DIR}/padlock.jpg ${KONF_PADLOCK_DIR}/embed.cmake
  COMMENT "Embedding the padlock picture"
  VERBATIM)

add_library(konf_lock STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/LockScreen.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/UnlockCode.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/JpegImage.cpp
  ${KONF_PADLOCK_CPP}
)
target_include_directories(konf_lock PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(konf_lock PUBLIC konf_console_core Qt6::Widgets JPEG::JPEG)

# Redraws assets/padlock/padlock.jpg: build padlock-gen and run it with the output path.
# Not part of the normal build; the committed picture is what the program carries.
add_executable(padlock-gen EXCLUDE_FROM_ALL
  ${KONF_PADLOCK_DIR}/padlock_gen.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/JpegImage.cpp)
target_include_directories(padlock-gen PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(padlock-gen PRIVATE Qt6::Gui JPEG::JPEG)
