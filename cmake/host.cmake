# Native build: the logic over the POSIX platform layer, the tools and tests.
enable_testing()
find_package(GTest REQUIRED)
find_package(Iconv REQUIRED)

file(GLOB QUORVEX_POSIX_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/platform/posix/*.cpp)
add_library(quorvex_posix STATIC ${QUORVEX_POSIX_SOURCES})
target_link_libraries(quorvex_posix PUBLIC quorvex_logic Iconv::Iconv)
target_compile_options(quorvex_posix PRIVATE ${QUORVEX_LOGIC_FLAGS})

# The tool's terminal, Ctrl-C and text conversions on Linux (cli/console.h);
# the maker's progress bar uses it too.
add_library(quorvex_console STATIC ${PROJECT_SOURCE_DIR}/cli/console_posix.cpp)
target_link_libraries(quorvex_console PUBLIC quorvex_posix)

# Writing archives: the container, the encoder, the maker.
file(GLOB QUORVEX_PACK_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/pack/*.cpp)
if(QUORVEX_PACK_SOURCES)
  add_library(quorvex_pack STATIC ${QUORVEX_PACK_SOURCES})
  target_link_libraries(quorvex_pack PUBLIC quorvex_logic quorvex_posix quorvex_console)
endif()

# The stub that `quorvex pack` puts in front of an archive. Until the win32
# build has made the real one, the maker falls back to a placeholder of the
# stub's exact size, made here; it is no program and says so in its bytes.
set(QUORVEX_STUB ${PROJECT_SOURCE_DIR}/build/win32/quorvex-stub.exe CACHE FILEPATH "The built stub")
set(QUORVEX_PLACEHOLDER_STUB ${PROJECT_BINARY_DIR}/placeholder-stub.bin)
set(placeholder_text "QUORVEX PLACEHOLDER STUB - not a program; build the win32 preset for the real stub.\n")
string(LENGTH "${placeholder_text}" placeholder_used)
math(EXPR placeholder_fill "25600 - ${placeholder_used}")
string(REPEAT "." ${placeholder_fill} placeholder_dots)
file(CONFIGURE OUTPUT ${QUORVEX_PLACEHOLDER_STUB} CONTENT "${placeholder_text}${placeholder_dots}" @ONLY)
if(TARGET quorvex_pack)
  target_compile_definitions(quorvex_pack PRIVATE QUORVEX_BUILT_STUB="${QUORVEX_STUB}"
                             QUORVEX_PLACEHOLDER_STUB="${QUORVEX_PLACEHOLDER_STUB}")
endif()

# The portable tool.
file(GLOB QUORVEX_CLI_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/cli/*.cpp)
# The console comes from its library; the Windows files are for the win32 build.
list(FILTER QUORVEX_CLI_SOURCES EXCLUDE REGEX "/console_[a-z0-9]+\\.cpp$|_win32\\.cpp$")
if(QUORVEX_CLI_SOURCES)
  add_executable(quorvex ${QUORVEX_CLI_SOURCES})
  target_link_libraries(quorvex PRIVATE quorvex_pack quorvex_posix)
endif()

add_subdirectory(tests)
if(EXISTS ${PROJECT_SOURCE_DIR}/bench/CMakeLists.txt)
  add_subdirectory(bench)
endif()
