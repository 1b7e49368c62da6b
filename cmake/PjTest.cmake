# pj_add_gtest(NAME LABEL SOURCES... LIBS ...): a GoogleTest program whose cases
# are registered one by one with CTest under LABEL (unit, integration, gui).
include(GoogleTest)
set(PJ_TIMEOUT_unit 60)
set(PJ_TIMEOUT_integration 240)
set(PJ_TIMEOUT_gui 240)

# Every program of the unit tests and what it needs, nothing else: a build
# that only runs them (the ASan+UBSan run of scripts/ci-fuzz) builds this.
add_custom_target(pj_unit_tests)

function(pj_add_gtest name label)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES AUTOMOC OFF AUTORCC OFF)
    target_link_libraries(${name} PRIVATE pj_common GTest::gtest GTest::gtest_main ${ARG_LIBS})
    # A cross-built program can only be listed where it runs (under the
    # emulator), so it is listed when the tests run, not when it is built.
    if(CMAKE_CROSSCOMPILING)
        set(discovery DISCOVERY_MODE PRE_TEST)
    else()
        set(discovery)
    endif()
    gtest_discover_tests(${name}
        PROPERTIES LABELS ${label} TIMEOUT ${PJ_TIMEOUT_${label}}
        DISCOVERY_TIMEOUT 30 ${discovery})
    if(label STREQUAL "unit")
        add_dependencies(pj_unit_tests ${name})
    endif()
endfunction()

# pj_add_qtest(NAME LABEL SOURCES... LIBS ...): a QtTest program, one CTest test.
function(pj_add_qtest name label)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE pj_common Qt6::Test ${ARG_LIBS})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS ${label} TIMEOUT ${PJ_TIMEOUT_${label}}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    if(label STREQUAL "unit")
        add_dependencies(pj_unit_tests ${name})
    endif()
endfunction()
