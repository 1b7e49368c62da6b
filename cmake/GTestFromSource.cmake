# GoogleTest built from source for a cross build (PJ_GTEST_SOURCE_DIR, Debian's
# googletest package by default). Gives the same GTest::gtest and
# GTest::gtest_main targets as find_package(GTest).
set(PJ_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
if(NOT EXISTS ${PJ_GTEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${PJ_GTEST_SOURCE_DIR} "
                        "(Debian package googletest)")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${PJ_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# The project's warnings are not GoogleTest's business.
foreach(target gtest gtest_main)
    set_target_properties(${target} PROPERTIES CXX_CLANG_TIDY "" COMPILE_WARNING_AS_ERROR OFF)
endforeach()
