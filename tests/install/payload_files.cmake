# The files setup.exe carries from a stage (setup/win32/payload.cmake): the
# product in its sub-folders, and not the installer's own files nor the
# commissioning record, with SQLite's companions, that a start of the staged
# program leaves beside the catalogue.
#   cmake -DPAYLOAD=<payload.cmake> -DWORK=<scratch dir> -P payload_files.cmake
file(REMOVE_RECURSE "${WORK}")
set(stage "${WORK}/stage")
foreach(f PROJECTOR.exe projector.mdb projector.CHM Qt6Core.dll platforms/qwindows.dll
          projector-record.db projector-record.db-journal projector.mdb-wal qR.ini
          remover.exe)
    file(WRITE "${stage}/${f}" "${f}")
endforeach()
foreach(f remover.exe licence.txt manifest standin.exe)
    file(WRITE "${WORK}/${f}" "${f}")
endforeach()
execute_process(
    COMMAND "${CMAKE_COMMAND}" -DOUT=${WORK}/out/payload.rc -DSTAGE=${stage}
            -DHOST_CATALOGUE=${WORK}/licence.txt -DHOST_HELP=${WORK}/licence.txt
            -DMANIFEST=${WORK}/manifest -DSTANDIN=${WORK}/standin.exe
            -DREMOVER=${WORK}/remover.exe -DLICENCE=${WORK}/licence.txt -P "${PAYLOAD}"
    RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "payload.cmake failed: ${rc}")
endif()
file(READ "${WORK}/out/payload.index" index)
set(expected "3001\tPROJECTOR.exe\n3002\tprojector.CHM\n3003\tprojector.exe.manifest\n3004\tprojector.mdb\n3005\tQt6Core.dll\n3006\tplatforms/qwindows.dll\n")
if(NOT index STREQUAL expected)
    message(FATAL_ERROR "setup.exe would carry:\n${index}\nexpected:\n${expected}")
endif()
file(REMOVE_RECURSE "${WORK}")
