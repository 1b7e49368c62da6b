# One interface target that carries the warnings and strict definitions every
# target of the project is built with.
add_library(pj_common INTERFACE)
target_compile_features(pj_common INTERFACE cxx_std_20)
target_include_directories(pj_common INTERFACE ${PROJECT_SOURCE_DIR})
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(pj_common INTERFACE -Wall -Wextra -Wpedantic -Wshadow
                                               -Wnon-virtual-dtor -Wold-style-cast)
endif()
target_compile_definitions(pj_common INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CONTEXTLESS_CONNECT
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_KEYWORDS)

if(PJ_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
elseif(PJ_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(NOT PJ_SANITIZE STREQUAL "")
    message(FATAL_ERROR "PJ_SANITIZE must be empty, 'address' or 'thread'")
endif()

find_package(Threads REQUIRED)
