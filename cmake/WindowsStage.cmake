# The deployable Windows product in one folder, the payload of the installer:
#   cmake --install <build> --prefix <build>/stage --component product
# (scripts/build-windows does it into an emptied <build>/stage). It holds the
# programs, the delivered catalogue, the help file, the Qt plugins the programs
# load and every DLL those need that Windows does not bring: Qt's and the mingw
# runtime's, found from the programs' and plugins' imports, and no others.
# The layout is documented in docs/windows.md.

set(pj_stage_programs PROJECTOR projector-cli)

# PROJECTOR is a window program (no console comes up with it); both programs
# carry the program icon and their version as Windows resources.
if(TARGET PROJECTOR)
    set_target_properties(PROJECTOR PROPERTIES WIN32_EXECUTABLE ON)
endif()
foreach(t ${pj_stage_programs})
    if(NOT TARGET ${t} OR NOT PJ_PROGRAM_ICON)
        continue()
    endif()
    set(PJ_RC_NAME ${t})
    set(PJ_RC_FILE ${t}.exe)
    set(PJ_RC_ICON ${PJ_PROGRAM_ICON})
    if(t STREQUAL "PROJECTOR")
        set(PJ_RC_DESCRIPTION "PROJECTOR code writer for classroom controllers")
    else()
        set(PJ_RC_DESCRIPTION "PROJECTOR command-line tool")
    endif()
    set(rc ${CMAKE_BINARY_DIR}/resources/windows/${t}.rc)
    configure_file(${PROJECT_SOURCE_DIR}/resources/windows/program.rc.in ${rc} @ONLY)
    target_sources(${t} PRIVATE ${rc})
    set_source_files_properties(${rc} TARGET_DIRECTORY ${t} PROPERTIES
                                OBJECT_DEPENDS ${PJ_PROGRAM_ICON})
    add_dependencies(${t} pj_skin) # where the icon is rendered
endforeach()
# The Qt plugins: the Windows platform, its native style, and the two database
# drivers the catalogue opens (the SQLite file, or ODBC when
# PROJECTOR_CATALOGUE names a data source). Images are PNG, which Qt Gui reads
# itself, so no image-format plugin is needed.
set(pj_stage_plugins
    platforms/qwindows.dll
    styles/qwindowsvistastyle.dll
    sqldrivers/qsqlite.dll
    sqldrivers/qsqlodbc.dll)

foreach(t ${pj_stage_programs})
    if(TARGET ${t})
        install(TARGETS ${t} RUNTIME DESTINATION . COMPONENT product)
    endif()
endforeach()
get_property(pj_catalogue_file GLOBAL PROPERTY PJ_DELIVERED_CATALOGUE)
if(pj_catalogue_file)
    install(FILES ${pj_catalogue_file} DESTINATION . COMPONENT product)
endif()
if(PJ_HELP_CHM)
    install(FILES ${PJ_HELP_CHM} DESTINATION . COMPONENT product)
endif()

set(pj_plugin_files "")
foreach(p ${pj_stage_plugins})
    get_filename_component(dir ${p} DIRECTORY)
    install(FILES ${PJ_QT_PREFIX}/plugins/${p} DESTINATION ${dir} COMPONENT product)
    list(APPEND pj_plugin_files ${PJ_QT_PREFIX}/plugins/${p})
endforeach()

find_program(PJ_MINGW_OBJDUMP NAMES ${PJ_MINGW_TRIPLE}-objdump x86_64-w64-mingw32-objdump REQUIRED)
find_program(PJ_MINGW_STRIP NAMES ${PJ_MINGW_TRIPLE}-strip x86_64-w64-mingw32-strip REQUIRED)
set(pj_stage_exes "")
foreach(t ${pj_stage_programs})
    if(TARGET ${t})
        list(APPEND pj_stage_exes "$<TARGET_FILE:${t}>")
    endif()
endforeach()
install(CODE "
    set(PJ_DEPLOY_FILES ${pj_stage_exes} ${pj_plugin_files})
    set(PJ_DEPLOY_DLL_DIRS ${PJ_WINDOWS_DLL_DIRS})
    set(PJ_DEPLOY_OBJDUMP \"${PJ_MINGW_OBJDUMP}\")
    set(PJ_DEPLOY_STRIP \"${PJ_MINGW_STRIP}\")
    set(PJ_DEPLOY_DESTINATION \"\${CMAKE_INSTALL_PREFIX}\")
    include(\"${CMAKE_CURRENT_LIST_DIR}/WindowsDeploy.cmake\")
" COMPONENT product)
