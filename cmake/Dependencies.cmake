# Finds (building on first use) the static x264 and FFmpeg of this target.
# QUANDRIL_DEPS_PREFIX may name a prefix built elsewhere.
if(NOT QUANDRIL_DEPS_PREFIX)
  execute_process(
    COMMAND ${CMAKE_SOURCE_DIR}/deps/build-deps.sh ${QUANDRIL_TARGET}
    OUTPUT_VARIABLE prefix
    OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "Building the x264 and FFmpeg dependencies failed")
  endif()
  set(QUANDRIL_DEPS_PREFIX ${prefix} CACHE PATH "Prefix of the static x264 and FFmpeg" FORCE)
endif()
message(STATUS "x264 and FFmpeg from ${QUANDRIL_DEPS_PREFIX}")

find_package(PkgConfig REQUIRED)
set(ENV{PKG_CONFIG_LIBDIR} ${QUANDRIL_DEPS_PREFIX}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
pkg_check_modules(FFMPEG REQUIRED
  libavformat libavcodec libavfilter libswscale libswresample libavutil x264)

# One imported target with the static link line (pkg-config --static).
add_library(ffmpeg_static INTERFACE)
target_include_directories(ffmpeg_static SYSTEM INTERFACE ${FFMPEG_STATIC_INCLUDE_DIRS})
target_link_options(ffmpeg_static INTERFACE ${FFMPEG_STATIC_LDFLAGS})
target_link_libraries(ffmpeg_static INTERFACE ${FFMPEG_STATIC_LIBRARIES})
target_link_directories(ffmpeg_static INTERFACE ${FFMPEG_STATIC_LIBRARY_DIRS})
set(QUANDRIL_STOCK_FFMPEG ${QUANDRIL_DEPS_PREFIX}/bin/ffmpeg.exe)
