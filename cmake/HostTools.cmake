# Programs of this project that the cross build runs on the build machine,
# built for it from the same sources in <build>/host (a native build of its
# own, with the build machine's Qt and Qt Svg):
#   PJ_HOST_CCSIM              ccsim: the controller simulator the Windows tests reach
#                              through a COM port that Wine maps onto its pty
#   with Qt also:
#   PJ_HOST_CATALOGUE_BUILDER  pj-catalogue-builder: makes the delivered projector.mdb
#   PJ_HOST_ARTWORK_PNG        pj-artwork-png: renders the SVG artwork to PNG
#   PJ_HOST_CLI                projector-cli: checks the delivered codes against the
#                              makers' framing rules
#   pj_setup_art               the installer's pictures (BMP, ICO) rendered from SVG, in
#                              <build>/host/resources/setup/win32 (setup/win32 takes them
#                              from there when PJ_HOST_BUILD_DIR is <build>/host)
# Target pj_host_tools builds them (every time, so that a changed source is
# picked up; an up-to-date native build costs a fraction of a second).
include(ExternalProject)

set(PJ_HOST_DIR ${CMAKE_BINARY_DIR}/host)
set(PJ_HOST_CATALOGUE_BUILDER ${PJ_HOST_DIR}/catalogue/pj-catalogue-builder)
set(PJ_HOST_ARTWORK_PNG ${PJ_HOST_DIR}/skin/pj-artwork-png)
set(PJ_HOST_CCSIM ${PJ_HOST_DIR}/sim/ccsim)
set(PJ_HOST_CLI ${PJ_HOST_DIR}/cli/projector-cli)
set(PJ_HOST_JOBS 2 CACHE STRING "Parallel jobs of the build machine's own build")
set(host_targets ccsim)
set(host_outputs ${PJ_HOST_CCSIM})
if(PJ_WITH_QT)
    list(APPEND host_targets pj-catalogue-builder pj-artwork-png projector-cli pj_setup_art)
    list(APPEND host_outputs ${PJ_HOST_CATALOGUE_BUILDER} ${PJ_HOST_ARTWORK_PNG} ${PJ_HOST_CLI})
endif()

ExternalProject_Add(pj_host_tools
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${PJ_HOST_DIR}
    PREFIX ${CMAKE_BINARY_DIR}/host-ep
    CMAKE_GENERATOR ${CMAKE_GENERATOR}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DPJ_BUILD_TESTS=OFF -DPJ_BUILD_BENCH=OFF
               -DPJ_WITH_QT=${PJ_WITH_QT}
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> -j ${PJ_HOST_JOBS} --target ${host_targets}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${host_outputs})
