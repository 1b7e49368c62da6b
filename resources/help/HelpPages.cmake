# The help pages are written in UTF-8 (resources/help). They are used twice:
# compiled into the program for its own help window, and converted to GBK and
# compiled into "PROJECTOR.chm". pj_prepare_help_pages() copies them, with the
# screenshots that exist in docs/screenshots, into one folder of the build tree
# and writes a resource file for it; a picture whose screenshot does not exist
# yet is left out of the pages.
set(PJ_HELP_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})

function(pj_prepare_help_pages out_dir_var out_qrc_var out_files_var)
    set(src ${PJ_HELP_SOURCE_DIR})
    set(shots_dir ${PROJECT_SOURCE_DIR}/docs/screenshots)
    set(dst ${PROJECT_BINARY_DIR}/resources/help/pages)
    file(MAKE_DIRECTORY ${dst}/images)

    file(GLOB pages RELATIVE ${src} CONFIGURE_DEPENDS
         ${src}/*.html ${src}/*.css ${src}/*.hhc ${src}/*.hhk ${src}/*.hhp)
    file(GLOB shots RELATIVE ${shots_dir} CONFIGURE_DEPENDS ${shots_dir}/*.png)
    list(SORT pages)
    list(SORT shots)

    set(images "")
    foreach(s ${shots})
        configure_file(${shots_dir}/${s} ${dst}/images/${s} COPYONLY) # also a configure dependency
        list(APPEND images images/${s})
    endforeach()

    foreach(p ${pages})
        # An edited page is prepared again at the next build.
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${src}/${p})
        file(READ ${src}/${p} text)
        string(REGEX MATCHALL "<p class=\"shot\"><img src=\"images/[^\"]+\"[^>]*></p>" figures
               "${text}")
        foreach(fig ${figures})
            string(REGEX MATCH "images/([^\"]+)" unused "${fig}")
            if(NOT EXISTS ${dst}/images/${CMAKE_MATCH_1})
                string(REPLACE "${fig}" "" text "${text}")
            endif()
        endforeach()
        if(p MATCHES "\\.hhp$")
            foreach(i ${images})
                string(APPEND text "${i}\n")
            endforeach()
        endif()
        file(WRITE ${dst}/${p}.tmp "${text}")
        configure_file(${dst}/${p}.tmp ${dst}/${p} COPYONLY)
        file(REMOVE ${dst}/${p}.tmp)
    endforeach()

    set(qrc "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/help\">\n")
    foreach(f ${pages} ${images})
        if(NOT f MATCHES "\\.(hhp|hhk)$")
            string(APPEND qrc "    <file>${f}</file>\n")
        endif()
    endforeach()
    string(APPEND qrc "</qresource>\n</RCC>\n")
    file(WRITE ${dst}/help.qrc.tmp "${qrc}")
    configure_file(${dst}/help.qrc.tmp ${dst}/help.qrc COPYONLY)
    file(REMOVE ${dst}/help.qrc.tmp)

    set(all ${pages} ${images})
    list(TRANSFORM all PREPEND ${dst}/)
    set(${out_dir_var} ${dst} PARENT_SCOPE)
    set(${out_qrc_var} ${dst}/help.qrc PARENT_SCOPE)
    set(${out_files_var} ${all} PARENT_SCOPE)
endfunction()
