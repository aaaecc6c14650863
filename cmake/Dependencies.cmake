# The libraries the engine is built on, all from Debian's -dev packages.
find_package(PkgConfig)
if(NOT PkgConfig_FOUND)
  message(FATAL_ERROR "pkg-config is missing: install it with 'apt-get install pkg-config'")
endif()

# The library needs only these OpenCV modules; photo and ximgproc (with the long
# list of libraries they load) serve the operations archive the tests use, and
# the tests compare the library's file readers and writers with imgcodecs.
set(VORNALIX_OPENCV_MODULES opencv_core opencv_imgproc)
set(VORNALIX_OPS_OPENCV_MODULES opencv_photo opencv_ximgproc)
set(VORNALIX_TEST_OPENCV_MODULES opencv_imgcodecs)
find_package(OpenCV QUIET COMPONENTS ${VORNALIX_OPENCV_MODULES} ${VORNALIX_OPS_OPENCV_MODULES}
             ${VORNALIX_TEST_OPENCV_MODULES})
if(NOT OpenCV_FOUND)
  message(FATAL_ERROR "OpenCV 4 with the photo and ximgproc modules was not found: "
                      "install it with 'apt-get install libopencv-dev libopencv-contrib-dev'")
endif()

function(vornalix_require_pkg var module package)
  pkg_check_modules(${var} QUIET IMPORTED_TARGET ${module})
  if(NOT ${var}_FOUND)
    message(FATAL_ERROR "${module} was not found: install it with 'apt-get install ${package}'")
  endif()
endfunction()
# The thread-safe LibRaw build: contexts on different threads decode at once.
vornalix_require_pkg(LIBRAW libraw_r libraw-dev)
vornalix_require_pkg(LCMS2 lcms2 liblcms2-dev)
vornalix_require_pkg(LIBEXIF libexif libexif-dev)
# Image files are read and written through the format libraries themselves.
vornalix_require_pkg(LIBJPEG libjpeg libjpeg62-turbo-dev)
vornalix_require_pkg(LIBPNG libpng libpng-dev)
vornalix_require_pkg(LIBTIFF libtiff-4 libtiff-dev)
vornalix_require_pkg(LIBWEBP libwebp libwebp-dev)
vornalix_require_pkg(LIBWEBPMUX libwebpmux libwebp-dev)
vornalix_require_pkg(LIBWEBPDEMUX libwebpdemux libwebp-dev)
# Lens profiles: the library and its database (liblensfun-data-v1); its
# pkg-config file names glib, hence libglib2.0-dev.
vornalix_require_pkg(LENSFUN lensfun "liblensfun-dev liblensfun-data-v1 libglib2.0-dev")

# Settings documents are read and written with the header-only JSON library.
find_package(nlohmann_json 3.9 QUIET)
if(NOT nlohmann_json_FOUND)
  message(FATAL_ERROR "nlohmann_json 3.9 or later was not found: "
                      "install it with 'apt-get install nlohmann-json3-dev'")
endif()

add_library(vornalix_deps INTERFACE)
target_link_libraries(vornalix_deps INTERFACE
  ${VORNALIX_OPENCV_MODULES} PkgConfig::LIBRAW PkgConfig::LCMS2 PkgConfig::LIBEXIF
  PkgConfig::LIBJPEG PkgConfig::LIBPNG PkgConfig::LIBTIFF PkgConfig::LIBWEBP PkgConfig::LIBWEBPMUX
  PkgConfig::LIBWEBPDEMUX PkgConfig::LENSFUN
  nlohmann_json::nlohmann_json)
target_include_directories(vornalix_deps SYSTEM INTERFACE ${OpenCV_INCLUDE_DIRS})
