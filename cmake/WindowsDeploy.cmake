# Run at install time (cmake/WindowsStage.cmake): copies into
# PJ_DEPLOY_DESTINATION every DLL that the Windows programs and plugins in
# PJ_DEPLOY_FILES import, directly or through another such DLL, that is found in
# PJ_DEPLOY_DLL_DIRS (Qt's and the compiler's folders). What is found nowhere
# there is Windows' own. Names are matched without regard to case, as Windows
# does (the imports say "QT6CORE.dll" or "Qt6Core.dll" as they please).
# Reads the imports with PJ_DEPLOY_OBJDUMP -p. Then PJ_DEPLOY_STRIP removes the
# debugging information from every program and DLL in the destination (the
# compiler's libstdc++-6.dll alone carries 20 MB of it); what the programs
# export and import stays as it is.

cmake_policy(PUSH)
cmake_policy(SET CMP0057 NEW) # IN_LIST in an install script

foreach(dir ${PJ_DEPLOY_DLL_DIRS})
    file(GLOB dlls "${dir}/*.dll")
    foreach(dll ${dlls})
        get_filename_component(name "${dll}" NAME)
        string(TOLOWER "${name}" key)
        if(NOT DEFINED found_${key})
            set(found_${key} "${dll}")
        endif()
    endforeach()
endforeach()

set(todo ${PJ_DEPLOY_FILES})
set(seen "")
set(copied "")
set(system "")
while(todo)
    list(POP_FRONT todo file)
    execute_process(COMMAND "${PJ_DEPLOY_OBJDUMP}" -p "${file}"
                    OUTPUT_VARIABLE dump RESULT_VARIABLE rc ERROR_QUIET)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "stage: cannot read the imports of ${file}")
    endif()
    string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${dump}")
    foreach(line ${imports})
        string(REGEX REPLACE "DLL Name: *" "" name "${line}")
        string(STRIP "${name}" name)
        string(TOLOWER "${name}" key)
        if(key IN_LIST seen)
            continue()
        endif()
        list(APPEND seen ${key})
        if(DEFINED found_${key})
            list(APPEND copied "${found_${key}}")
            list(APPEND todo "${found_${key}}")
        elseif(key MATCHES "^(qt6|lib|zlib)")
            message(FATAL_ERROR "stage: ${name}, imported by ${file}, was not found")
        else()
            list(APPEND system ${key})
        endif()
    endforeach()
endwhile()

list(SORT copied)
file(INSTALL ${copied} DESTINATION "${PJ_DEPLOY_DESTINATION}")
file(GLOB_RECURSE binaries "${PJ_DEPLOY_DESTINATION}/*.exe" "${PJ_DEPLOY_DESTINATION}/*.dll")
foreach(b ${binaries})
    execute_process(COMMAND "${PJ_DEPLOY_STRIP}" --strip-debug "${b}" RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "stage: cannot strip ${b}")
    endif()
endforeach()

list(FILTER system EXCLUDE REGEX "^api-ms-") # API sets, resolved by Windows itself
list(SORT system)
string(REPLACE ";" " " system "${system}")
message(STATUS "stage: from Windows itself: ${system}")
cmake_policy(POP)
