# Native build: the logic over the POSIX platform layer, the tools and tests.
enable_testing()
find_package(GTest REQUIRED)
find_package(Iconv REQUIRED)

file(GLOB QUORVEX_POSIX_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/platform/posix/*.cpp)
add_library(quorvex_posix STATIC ${QUORVEX_POSIX_SOURCES})
target_link_libraries(quorvex_posix PUBLIC quorvex_logic Iconv::Iconv)
target_compile_options(quorvex_posix PRIVATE ${QUORVEX_LOGIC_FLAGS})

# Writing archives: the container, the encoder, the maker.
file(GLOB QUORVEX_PACK_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/pack/*.cpp)
if(QUORVEX_PACK_SOURCES)
  add_library(quorvex_pack STATIC ${QUORVEX_PACK_SOURCES})
  target_link_libraries(quorvex_pack PUBLIC quorvex_logic quorvex_posix)
endif()

# The portable tool.
file(GLOB QUORVEX_CLI_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/cli/*.cpp)
if(QUORVEX_CLI_SOURCES)
  add_executable(quorvex ${QUORVEX_CLI_SOURCES})
  target_link_libraries(quorvex PRIVATE quorvex_pack quorvex_posix)
endif()

add_subdirectory(tests)
if(EXISTS ${PROJECT_SOURCE_DIR}/bench/CMakeLists.txt)
  add_subdirectory(bench)
endif()
