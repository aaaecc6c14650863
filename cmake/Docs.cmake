# The HTML reference of the C interface, made by Doxygen from the comments of
# the public header: cmake --build build --target docs (not part of 'all').
find_package(Doxygen QUIET)
if(DOXYGEN_FOUND)
  set(DOXYGEN_PROJECT_NAME "libvornalix")
  set(DOXYGEN_PROJECT_BRIEF "A photo-development engine with a flat C interface")
  set(DOXYGEN_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/docs)
  set(DOXYGEN_OPTIMIZE_OUTPUT_FOR_C YES)
  set(DOXYGEN_EXTRACT_ALL YES)
  set(DOXYGEN_JAVADOC_AUTOBRIEF YES)
  set(DOXYGEN_GENERATE_LATEX NO)
  set(DOXYGEN_QUIET YES)
  set(DOXYGEN_WARN_IF_UNDOCUMENTED NO)
  set(DOXYGEN_PREDEFINED "VORNALIX_API=")
  set(DOXYGEN_USE_MDFILE_AS_MAINPAGE ${PROJECT_SOURCE_DIR}/README.md)
  doxygen_add_docs(docs ${VORNALIX_INCLUDE_DIR}/vornalix.h ${PROJECT_SOURCE_DIR}/README.md
                   COMMENT "Making the HTML reference of vornalix.h in ${PROJECT_BINARY_DIR}/docs/html")
else()
  add_custom_target(docs
    COMMAND ${CMAKE_COMMAND} -E echo "doxygen was not found: install it with 'apt-get install doxygen'"
    COMMAND ${CMAKE_COMMAND} -E false)
endif()
