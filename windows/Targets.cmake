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
