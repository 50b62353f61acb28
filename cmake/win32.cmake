# Cross build for 32-bit Windows: the logic over the Win32 platform layer.
# Everything here links without the C++ runtime library.
# No -fdata-sections: for PE targets GCC then puts zero-initialised objects
# into .data$name sections that take file space (the 40 KB output window).
set(QUORVEX_STUB_FLAGS -Os -ffunction-sections -fno-asynchronous-unwind-tables
    -fno-stack-protector -fno-ident -mno-stack-arg-probe)
target_compile_options(quorvex_logic PRIVATE ${QUORVEX_STUB_FLAGS})

file(GLOB QUORVEX_WIN32_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/platform/win32/*.cpp)
add_library(quorvex_win32 STATIC ${QUORVEX_WIN32_SOURCES})
target_link_libraries(quorvex_win32 PUBLIC quorvex_logic)
target_compile_options(quorvex_win32 PRIVATE ${QUORVEX_LOGIC_FLAGS} ${QUORVEX_STUB_FLAGS})

# Link options for programs that carry no C or C++ runtime start-up code and
# import only system DLLs.
set(QUORVEX_BARE_LINK_OPTIONS -nostdlib -nostartfiles -static-libgcc -Wl,--gc-sections -s
    -Wl,--dynamicbase -Wl,--nxcompat)
set(QUORVEX_BARE_LIBS kernel32 user32 gdi32 shell32 msvcrt gcc)

# Build check: the logic and the Win32 layer link into a program without
# libstdc++. A reference to any C++ runtime symbol fails this link.
add_executable(logic_link_check ${PROJECT_SOURCE_DIR}/cmake/logic_link_check.cpp)
target_compile_options(logic_link_check PRIVATE ${QUORVEX_LOGIC_FLAGS} ${QUORVEX_STUB_FLAGS})
target_link_options(logic_link_check PRIVATE ${QUORVEX_BARE_LINK_OPTIONS} -Wl,-e,_link_check_entry)
target_link_libraries(logic_link_check PRIVATE quorvex_win32 quorvex_logic ${QUORVEX_BARE_LIBS})
set_target_properties(logic_link_check PROPERTIES LINKER_LANGUAGE C)

if(EXISTS ${PROJECT_SOURCE_DIR}/app/win32/CMakeLists.txt)
  add_subdirectory(app/win32)
endif()

# ---------------------------------------------------------------------------
# The portable tool, `quorvex list|test|extract`, as a console program over the
# Win32 file layer. Unlike the stub it is an ordinary C++ program with the
# standard library and the C runtime's start-up code, so none of the stub's
# bare link options apply; the C++ and GCC runtimes are linked in, so that it
# needs only the system's DLLs. `pack` stays on Linux: its tree walk is POSIX,
# and this build's `quorvex pack` says so and ends with code 2.
file(GLOB QUORVEX_CLI_WIN32_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/cli/*.cpp)
list(FILTER QUORVEX_CLI_WIN32_SOURCES EXCLUDE REGEX "_posix\\.cpp$|/pack_command\\.cpp$")
add_executable(quorvex ${QUORVEX_CLI_WIN32_SOURCES} ${PROJECT_SOURCE_DIR}/pack/progress_bar.cpp)
target_compile_options(quorvex PRIVATE -Wall -Wextra)
target_link_options(quorvex PRIVATE -static -static-libgcc -static-libstdc++ -s -Wl,--subsystem,console)
target_link_libraries(quorvex PRIVATE quorvex_win32 quorvex_logic user32 shell32)
set_target_properties(quorvex PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
