# The Windows build's part of the tree (included from the top-level CMakeLists.txt).
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)

add_subdirectory(errors)
add_subdirectory(serial)
add_subdirectory(conversation)
add_subdirectory(terminal)
add_subdirectory(console)
add_subdirectory(routing)
add_subdirectory(dialogs)
add_subdirectory(app)
# The console is a window program: no console window beside it.
set_target_properties(konfigurator PROPERTIES WIN32_EXECUTABLE ON)
add_subdirectory(ctl)
add_subdirectory(tests/windows)

# The application icon, made from the committed pictures, and a version resource on both programs.
find_program(KONF_CONVERT NAMES convert-im6.q16 convert PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
include(${PROJECT_SOURCE_DIR}/assets/icon/icon.cmake)
set(KONF_ICON_PNGS)
foreach(size IN LISTS KONF_ICON_SIZES)
  list(APPEND KONF_ICON_PNGS ${KONF_ICON_DIR}/konfigurator-${size}.png)
endforeach()
set(KONF_ICON ${CMAKE_BINARY_DIR}/generated/konfigurator.ico)
add_custom_command(OUTPUT ${KONF_ICON}
  COMMAND ${KONF_CONVERT} ${KONF_ICON_PNGS} ${KONF_ICON}
  DEPENDS ${KONF_ICON_PNGS}
  COMMENT "Making the application icon"
  VERBATIM)
# The programs are defined in other folders: they reach the icon's rule through a target here.
add_custom_target(konf_icon DEPENDS ${KONF_ICON})
function(konf_windows_resources target description)
  set(KONF_RC_NAME ${target})
  set(KONF_RC_DESCRIPTION "${description}")
  set(rc ${CMAKE_BINARY_DIR}/generated/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/windows/resources.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${KONF_ICON})
  target_sources(${target} PRIVATE ${rc})
  add_dependencies(${target} konf_icon)
endfunction()
konf_windows_resources(konfigurator "Konfigurator: the console of the Selvora controller")
konf_windows_resources(selvora-ctl "selvora-ctl: the Selvora controller from a script")
