# The Windows cross build (mingw-w64): how programs are linked, and how the
# build runs them under Wine (tests, test discovery).
#
# Runtime: without Qt every program carries the mingw runtime (static libgcc,
# libstdc++ and winpthread) and imports only system DLLs. With Qt the programs
# share Qt's runtime DLLs (libstdc++-6, libgcc_s_seh-1, libwinpthread-1), so one
# C++ runtime is loaded, never two; a plain Win32 program that must stand alone
# in the Qt build asks for its own copy with pj_static_runtime(TARGET).

function(pj_static_runtime target)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
endfunction()

if(NOT PJ_WITH_QT)
    string(APPEND CMAKE_EXE_LINKER_FLAGS " -static -static-libgcc -static-libstdc++")
endif()

# Resources are compiled by the build machine's rcc, which would compress them
# with zstd; the Qt for Windows reads only zlib-compressed ones.
if(PJ_WITH_QT)
    list(APPEND CMAKE_AUTORCC_OPTIONS --no-zstd)
endif()

# The folders that hold the DLLs the programs load: Qt's and the compiler's.
set(PJ_WINDOWS_DLL_DIRS "")
if(PJ_WITH_QT)
    get_filename_component(pj_qt_prefix "${Qt6_DIR}/../../.." ABSOLUTE)
    set(PJ_QT_PREFIX ${pj_qt_prefix} CACHE INTERNAL "The Qt for Windows in use")
    list(APPEND PJ_WINDOWS_DLL_DIRS ${pj_qt_prefix}/bin)
endif()
foreach(dll libstdc++-6.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(IS_ABSOLUTE "${path}" AND EXISTS "${path}")
        get_filename_component(dir "${path}" DIRECTORY)
        get_filename_component(dir "${dir}" REALPATH)
        list(APPEND PJ_WINDOWS_DLL_DIRS ${dir})
    endif()
endforeach()
list(REMOVE_DUPLICATES PJ_WINDOWS_DLL_DIRS)
set(PJ_WINDOWS_DLL_DIRS ${PJ_WINDOWS_DLL_DIRS} CACHE INTERNAL "Where the Windows DLLs come from")

# <build>/wine-run PROGRAM ARGS: runs a Windows program of this build under
# Wine, in the build's own Wine prefix (unless WINEPREFIX is set), finding the
# DLLs in the folders above. CTest uses it for every test program.
find_program(PJ_WINE NAMES wine wine64)
if(PJ_WINE)
    set(wine_path "")
    foreach(dir ${PJ_WINDOWS_DLL_DIRS})
        list(APPEND wine_path "Z:${dir}")
    endforeach()
    list(JOIN wine_path ";" PJ_WINEPATH)
    set(PJ_WINEPREFIX_DEFAULT ${CMAKE_BINARY_DIR}/wineprefix)
    set(PJ_WINE_RIG_DIR ${CMAKE_BINARY_DIR}/wine-rig CACHE INTERNAL "The tests' Linux side")
    configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.in ${CMAKE_BINARY_DIR}/wine-run
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE
                   @ONLY)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
    # The prefix is made with the build, so that the first test does not spend
    # its time limit on it.
    find_program(PJ_WINEBOOT wineboot)
    if(PJ_WINEBOOT)
        add_custom_command(OUTPUT ${PJ_WINEPREFIX_DEFAULT}/system.reg
            COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${PJ_WINEPREFIX_DEFAULT} WINEDEBUG=-all
                    WINEDLLOVERRIDES=mscoree,mshtml= ${PJ_WINEBOOT} --init
            COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${PJ_WINEPREFIX_DEFAULT} wineserver -w
            COMMENT "Making the Wine prefix of this build"
            VERBATIM)
        add_custom_target(pj_wineprefix ALL DEPENDS ${PJ_WINEPREFIX_DEFAULT}/system.reg)
    endif()
endif()
