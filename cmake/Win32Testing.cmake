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

# ---- The GUI suite: the Windows installer under Xvfb ---------------------
# tests/gui drives the window with the X tools, so the suite is a program of
# the build machine too: gui_wine_test, built from the same sources by a
# Linux configuration of this project that names this build
# (HOBNAR_WIN32_BUILD_DIR), runs bin/hobnar-setup.exe under Wine and writes
# the pages' screenshots to screenshots-win32/.  Every case runs inside its
# own copy of the run's prefix (wine-test-run.sh --host).  Set up once the
# whole project is read, and only when it has the installer to drive; built
# after the host tools, so the two outside builds never share the cores.
function(hobnar_add_gui_wine_suite)
  if(NOT TARGET hobnar-setup)
    return()
  endif()
  set(driver_dir "${CMAKE_BINARY_DIR}/gui-driver")
  ExternalProject_Add(hobnar_gui_driver
    SOURCE_DIR "${PROJECT_SOURCE_DIR}"
    BINARY_DIR "${driver_dir}"
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DHOBNAR_WIN32_BUILD_DIR=${CMAKE_BINARY_DIR}"
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target gui_wine_test -j2
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    DEPENDS hobnar_host_tools
    BUILD_BYPRODUCTS "${driver_dir}/tests/gui/gui_wine_test")
  add_executable(gui_wine_test IMPORTED GLOBAL)
  set_target_properties(gui_wine_test PROPERTIES
    IMPORTED_LOCATION "${driver_dir}/tests/gui/gui_wine_test"
    CROSSCOMPILING_EMULATOR
      "${PROJECT_SOURCE_DIR}/scripts/wine-test-run.sh;--host;${HOBNAR_WINE_STATE}")
  include(GoogleTest)
  gtest_discover_tests(gui_wine_test DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 300 LABELS gui_wine_test FIXTURES_REQUIRED wine_prefix
                                  RESOURCE_LOCK hobnar_port_18080)
endfunction()
cmake_language(DEFER CALL hobnar_add_gui_wine_suite)
