# Third-party code the harness uses, each behind a target of its own:
#   GTest::gtest_main  Debian's package natively; compiled from /usr/src/googletest for a cross
#                      build
#   stb                the single-file image codecs (stb_image, stb_image_write)

function(lumivar_find_googletest)
  if(TARGET GTest::gtest_main)
    return()
  endif()
  if(CMAKE_CROSSCOMPILING)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  else()
    find_package(GTest REQUIRED)
  endif()
endfunction()

# stb's own directory, not /usr/include: a Windows build must not see the host's C headers.
find_path(STB_INCLUDE_DIR stb_image_write.h PATHS /usr/include/stb NO_CMAKE_FIND_ROOT_PATH REQUIRED)
add_library(stb INTERFACE)
target_include_directories(stb SYSTEM INTERFACE ${STB_INCLUDE_DIR})
