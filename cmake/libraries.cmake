# Libraries the front ends share: the version header, libpng (with zlib) and
# CLI11. Included from the top-level CMakeLists.txt.

# bitloupe_version: bitloupe_version.h, the one version number (project()).
set(BITLOUPE_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/bitloupe_version.h.in
  ${BITLOUPE_GENERATED_DIR}/bitloupe_version.h @ONLY)
add_library(bitloupe_version INTERFACE)
target_include_directories(bitloupe_version INTERFACE ${BITLOUPE_GENERATED_DIR})

# bitloupe_png: libpng and zlib, linked statically into the programs, so that
# the PNG bytes a program writes do not depend on the zlib of the machine it
# runs on. The Windows build links the static libraries tools/setup.sh builds
# from Debian's source packages; the host build the static archives of
# Debian's libpng-dev and zlib1g-dev.
add_library(bitloupe_png INTERFACE)
if(WIN32)
  set(ZLIB_PREFIX ${PROJECT_SOURCE_DIR}/third_party/zlib-win64)
  set(PNG_PREFIX ${PROJECT_SOURCE_DIR}/third_party/libpng-win64)
  foreach(archive ${ZLIB_PREFIX}/lib/libzlibstatic.a ${PNG_PREFIX}/lib/libpng16.a)
    if(NOT EXISTS ${archive})
      message(FATAL_ERROR "${archive} is missing: run tools/setup.sh")
    endif()
  endforeach()
  add_library(zlib_static STATIC IMPORTED)
  set_target_properties(zlib_static PROPERTIES
    IMPORTED_LOCATION ${ZLIB_PREFIX}/lib/libzlibstatic.a
    INTERFACE_INCLUDE_DIRECTORIES ${ZLIB_PREFIX}/include)
  add_library(png_static STATIC IMPORTED)
  set_target_properties(png_static PROPERTIES
    IMPORTED_LOCATION ${PNG_PREFIX}/lib/libpng16.a
    INTERFACE_INCLUDE_DIRECTORIES ${PNG_PREFIX}/include
    INTERFACE_LINK_LIBRARIES zlib_static)
  target_link_libraries(bitloupe_png INTERFACE png_static)
else()
  find_package(PNG REQUIRED)  # for its headers
  find_library(BITLOUPE_PNG_ARCHIVE NAMES libpng16.a REQUIRED)
  find_library(BITLOUPE_ZLIB_ARCHIVE NAMES libz.a REQUIRED)
  target_include_directories(bitloupe_png INTERFACE ${PNG_INCLUDE_DIRS})
  target_link_libraries(bitloupe_png INTERFACE ${BITLOUPE_PNG_ARCHIVE} ${BITLOUPE_ZLIB_ARCHIVE} m)
endif()

# bitloupe_cli11: CLI11, header only (Debian's libcli11-dev, in /usr/include).
# /usr/include itself must never reach the Windows build's include path: it
# would shadow mingw's C library headers. So the build tree gets a folder that
# holds nothing but a link to the CLI folder, and that is what is included.
find_path(BITLOUPE_CLI11_DIR CLI/CLI.hpp PATHS /usr/include
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(BITLOUPE_CLI11_INCLUDE ${CMAKE_BINARY_DIR}/cli11-include)
file(MAKE_DIRECTORY ${BITLOUPE_CLI11_INCLUDE})
file(CREATE_LINK ${BITLOUPE_CLI11_DIR}/CLI ${BITLOUPE_CLI11_INCLUDE}/CLI SYMBOLIC)
add_library(bitloupe_cli11 INTERFACE)
target_include_directories(bitloupe_cli11 SYSTEM INTERFACE ${BITLOUPE_CLI11_INCLUDE})

# bitloupe_httplib: cpp-httplib, header only, from Debian's source package
# (tools/setup.sh unpacks it in third_party/), the same header in both builds.
set(BITLOUPE_HTTPLIB_DIR ${PROJECT_SOURCE_DIR}/third_party/cpp-httplib-0.11.4+ds)
if(NOT EXISTS ${BITLOUPE_HTTPLIB_DIR}/httplib.h)
  message(FATAL_ERROR "${BITLOUPE_HTTPLIB_DIR}/httplib.h is missing: run tools/setup.sh")
endif()
add_library(bitloupe_httplib INTERFACE)
target_include_directories(bitloupe_httplib SYSTEM INTERFACE ${BITLOUPE_HTTPLIB_DIR})
if(WIN32)
  target_link_libraries(bitloupe_httplib INTERFACE ws2_32)
else()
  find_package(Threads REQUIRED)
  target_link_libraries(bitloupe_httplib INTERFACE Threads::Threads)
endif()
