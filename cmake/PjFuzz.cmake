# -DPJ_FUZZ=ON builds the libFuzzer targets of tests/fuzz (the target pj_fuzz).
# It needs clang and a build directory of its own; every library the targets
# use is compiled with libFuzzer's coverage instrumentation, and with ASan and
# UBSan, so that a memory fault or undefined behaviour stops a run at once.
option(PJ_FUZZ "Build the libFuzzer targets of tests/fuzz (clang; ASan and UBSan)" OFF)

if(PJ_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "PJ_FUZZ needs clang: use a separate build directory configured with "
                            "-DCMAKE_CXX_COMPILER=clang++ (scripts/ci-fuzz does)")
    endif()
    if(NOT PJ_BUILD_TESTS)
        message(FATAL_ERROR "PJ_FUZZ needs PJ_BUILD_TESTS: the targets live in tests/fuzz")
    endif()
    if(PJ_SANITIZE STREQUAL "")
        set(PJ_SANITIZE address CACHE STRING
            "Sanitizers: empty, 'address' (ASan+UBSan) or 'thread' (TSan)" FORCE)
    elseif(NOT PJ_SANITIZE STREQUAL "address")
        message(FATAL_ERROR "PJ_FUZZ goes with PJ_SANITIZE=address (ASan+UBSan) only")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
