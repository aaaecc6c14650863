# The library's sources, public header and flags in one place, shared by the
# main build and the fuzz build (fuzz/CMakeLists.txt).

get_filename_component(VORNALIX_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)

# The public header carries the project version; the build writes it with the
# version filled in, and every target (and the install) uses that copy.
set(VORNALIX_INCLUDE_DIR ${PROJECT_BINARY_DIR}/include)
configure_file(${VORNALIX_ROOT}/include/vornalix.h ${VORNALIX_INCLUDE_DIR}/vornalix.h @ONLY)

# The standalone operations under src/ops are reached by no exported function:
# they stay out of the shared library, so a host never loads what they link.
file(GLOB_RECURSE VORNALIX_SOURCES CONFIGURE_DEPENDS ${VORNALIX_ROOT}/src/*.cpp)
set(VORNALIX_OPS_SOURCES ${VORNALIX_SOURCES})
list(FILTER VORNALIX_SOURCES EXCLUDE REGEX "/src/ops/")
list(FILTER VORNALIX_OPS_SOURCES INCLUDE REGEX "/src/ops/")

# The warnings every part of the project builds with.
set(VORNALIX_WARNINGS -Wall -Wextra)

# vornalix_add_library(TARGET TYPE SOURCES...): library sources compiled with
# the library's flags and definitions.
function(vornalix_add_library target type)
  add_library(${target} ${type} ${ARGN})
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${VORNALIX_INCLUDE_DIR}> $<BUILD_INTERFACE:${VORNALIX_ROOT}/src>)
  target_compile_definitions(${target} PRIVATE VORNALIX_BUILDING)
  # Nothing reads errno after a maths call; without it the compiler may inline
  # and vectorise square roots. Results are unchanged.
  target_compile_options(${target} PRIVATE ${VORNALIX_WARNINGS} -fno-math-errno)
  target_link_libraries(${target} PUBLIC vornalix_deps)
endfunction()
