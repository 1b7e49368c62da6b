# pj_add_gtest(NAME LABEL SOURCES... LIBS ...): a GoogleTest program whose cases
# are registered one by one with CTest under LABEL (unit, integration, gui).
include(GoogleTest)
set(PJ_TIMEOUT_unit 60)
set(PJ_TIMEOUT_integration 240)
set(PJ_TIMEOUT_gui 240)
# Under Wine every file and device call costs more (a catalogue test with
# hundreds of synced transactions runs about six times as long): three times
# the time.
if(WIN32 AND CMAKE_CROSSCOMPILING)
    foreach(label unit integration gui)
        math(EXPR PJ_TIMEOUT_${label} "${PJ_TIMEOUT_${label}} * 3")
    endforeach()
endif()

# In the Windows build every test runs under Wine with the tests' Linux side
# set up (fixture pj_wine_rig, tests/windows). Programs that use the simulator
# share the one ccsim behind a COM port, so they take turns (lock pj_ccsim);
# LOCKS names further resources a program's cases must not share.
function(pj_windows_test_properties out_var)
    cmake_parse_arguments(ARG "" "" "LIBS;LOCKS" ${ARGN})
    set(props)
    if(WIN32 AND CMAKE_CROSSCOMPILING)
        set(locks ${ARG_LOCKS})
        foreach(lib pj_sim pj_shell)
            if(lib IN_LIST ARG_LIBS)
                list(APPEND locks pj_ccsim)
            endif()
        endforeach()
        list(REMOVE_DUPLICATES locks)
        list(APPEND props FIXTURES_REQUIRED pj_wine_rig)
        list(LENGTH locks count)
        if(count GREATER 1)
            message(FATAL_ERROR "${ARG_LIBS}: one resource lock per test program")
        elseif(count EQUAL 1)
            list(APPEND props RESOURCE_LOCK ${locks})
        endif()
    endif()
    set(${out_var} ${props} PARENT_SCOPE)
endfunction()

# Every program of the unit tests and what it needs, nothing else: a build
# that only runs them (the ASan+UBSan run of scripts/ci-fuzz) builds this.
add_custom_target(pj_unit_tests)

function(pj_add_gtest name label)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LOCKS" ${ARGN})
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
    pj_windows_test_properties(windows LIBS ${ARG_LIBS} LOCKS ${ARG_LOCKS})
    gtest_discover_tests(${name}
        PROPERTIES LABELS ${label} TIMEOUT ${PJ_TIMEOUT_${label}} ${windows}
        DISCOVERY_TIMEOUT 60 ${discovery})
    if(label STREQUAL "unit")
        add_dependencies(pj_unit_tests ${name})
    endif()
endfunction()

# pj_add_qtest(NAME LABEL SOURCES... LIBS ...): a QtTest program, one CTest test.
function(pj_add_qtest name label)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LOCKS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE pj_common Qt6::Test ${ARG_LIBS})
    set(args)
    if(WIN32 AND CMAKE_CROSSCOMPILING)
        # QtTest's plain log goes to the debugger when the process has no
        # console window (under CTest and Wine: to nobody); its TAP log goes to
        # standard output. Wine passes no QT_* variable on to Windows
        # programs, so the platform is asked for on the command line.
        list(APPEND args -o -,tap)
        if(label STREQUAL "gui")
            list(APPEND args -platform offscreen)
        endif()
    endif()
    add_test(NAME ${name} COMMAND ${name} ${args})
    pj_windows_test_properties(windows LIBS ${ARG_LIBS} LOCKS ${ARG_LOCKS})
    set_tests_properties(${name} PROPERTIES LABELS ${label} TIMEOUT ${PJ_TIMEOUT_${label}}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen" ${windows})
    if(label STREQUAL "unit")
        add_dependencies(pj_unit_tests ${name})
    endif()
endfunction()

# pj_skipped_on_windows(NAME REASON...): in the Windows build, a test NAME in
# place of a test program that is not built there; it only says why (the
# REASON words joined), and CTest counts it as skipped (scripts/test-windows
# lists the reasons).
function(pj_skipped_on_windows name)
    if(NOT WIN32)
        return()
    endif()
    string(JOIN "" reason ${ARGN})
    add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -E echo "skipped on Windows: ${reason}")
    set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "skipped on Windows:"
                                            LABELS windows-skip)
endfunction()
