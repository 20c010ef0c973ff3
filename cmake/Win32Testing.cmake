# How the Windows build's tests run (cmake/Win32Dependencies.cmake builds
# what they link).
#
# - Under Wine: scripts/wine-test-run.sh is CTest's emulator.  It makes one
#   Wine prefix per test run and gives every test, and every test discovery,
#   a private copy of it with its own home folder.  The fixture test
#   wine_prefix_cleanup (tests/CMakeLists.txt) removes the prefix after the
#   last test.
# - Programs of the build machine: the tests talk to the real hobnar-backend
#   and pack archives with rar, both Linux programs.  This project's own
#   Linux configuration, limited to them (HOBNAR_HOST_TOOLS_ONLY), builds
#   hobnar-backend and hobnar-host-run, the helper through which a Windows
#   test starts and follows such a program (tests/support/host_run.cpp).
include(ExternalProject)

set(HOBNAR_WINE_STATE "${CMAKE_BINARY_DIR}/wine")
set(CMAKE_CROSSCOMPILING_EMULATOR "${PROJECT_SOURCE_DIR}/scripts/wine-test-run.sh"
                                  "${HOBNAR_WINE_STATE}")

set(HOBNAR_HOST_DIR "${CMAKE_BINARY_DIR}/host")
set(HOBNAR_HOST_BACKEND "${HOBNAR_HOST_DIR}/server/hobnar-backend")
set(HOBNAR_HOST_RUN "${HOBNAR_HOST_DIR}/hobnar-host-run")
# Always built (a no-op when nothing changed), so edits to server/ reach it.
# An external project does not inherit the job limit, hence -j2.
ExternalProject_Add(hobnar_host_tools
  SOURCE_DIR "${PROJECT_SOURCE_DIR}"
  BINARY_DIR "${HOBNAR_HOST_DIR}"
  CMAKE_ARGS -DHOBNAR_HOST_TOOLS_ONLY=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> -j2
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS "${HOBNAR_HOST_BACKEND}" "${HOBNAR_HOST_RUN}")
