# Third-party code of the 32-bit Windows build.  Nothing is vendored: the
# libraries are compiled from the Debian source packages that
# scripts/setup.sh unpacks into third_party/src (folder names carry the
# version, so they are found with a glob), GoogleTest from /usr/src/googletest;
# header-only libraries are exposed through a folder of their own each (never
# all of /usr/include, whose Linux headers would shadow MinGW's).
#
# The targets carry the names the packages' own CMake files give them
# (CURL::libcurl, nlohmann_json::nlohmann_json, GTest::gtest, pugixml::pugixml,
# httplib::httplib), so the subsystems link the same names on both systems.
# Third-party code is compiled without our warning flags.
include(ExternalProject)
# libsodium is C; the resource scripts of the programs need the resource compiler.
enable_language(C)
enable_language(RC)

set(HOBNAR_THIRD_PARTY_SOURCES "${PROJECT_SOURCE_DIR}/third_party/src"
    CACHE PATH "Debian source packages unpacked by scripts/setup.sh")
set(HOBNAR_DEPS_DIR "${CMAKE_BINARY_DIR}/deps")

# The unpacked source folder of a Debian source package, e.g. curl-7.88.1.
function(hobnar_debian_source variable package)
  file(GLOB found LIST_DIRECTORIES true "${HOBNAR_THIRD_PARTY_SOURCES}/${package}-[0-9]*")
  list(FILTER found EXCLUDE REGEX "\\.(tar\\..*|dsc|asc)$")
  if(NOT found)
    message(FATAL_ERROR "No ${package} source in ${HOBNAR_THIRD_PARTY_SOURCES}; "
                        "scripts/setup.sh fetches it (apt-get source ${package}).")
  endif()
  list(SORT found COMPARE NATURAL ORDER DESCENDING)
  list(GET found 0 newest)
  set(${variable} "${newest}" PARENT_SCOPE)
endfunction()

# ---- curl: static, HTTP only, TLS through Schannel --------------------------
# An external project keeps curl's hundred cache options and configure checks
# out of ours.  It does not inherit Ninja's job limit, hence -j2.
hobnar_debian_source(HOBNAR_CURL_SOURCE curl)
set(HOBNAR_CURL_PREFIX "${HOBNAR_DEPS_DIR}/curl")
ExternalProject_Add(hobnar_curl_build
  SOURCE_DIR "${HOBNAR_CURL_SOURCE}"
  BINARY_DIR "${HOBNAR_DEPS_DIR}/curl-build"
  INSTALL_DIR "${HOBNAR_CURL_PREFIX}"
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR>
    -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DHTTP_ONLY=ON
    -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF
    -DCURL_USE_LIBPSL=OFF -DCURL_USE_LIBSSH2=OFF -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=ON
    -DCURL_ZLIB=OFF -DENABLE_UNICODE=ON -DPICKY_COMPILER=OFF
    # Small: optimised for size, no unwind tables (C code: no exception passes
    # through it, our callbacks catch theirs), and without what the installer never asks
    # for (cookies, alt-svc, HSTS, forms, DNS over HTTPS, .netrc, digest and
    # NTLM authentication, the --libcurl code writer).
    "-DCMAKE_C_FLAGS=-Os -ffunction-sections -fdata-sections -fno-asynchronous-unwind-tables ${HOBNAR_REPRODUCIBLE_FLAGS}"
    -DCURL_DISABLE_COOKIES=ON -DCURL_DISABLE_ALTSVC=ON -DCURL_DISABLE_HSTS=ON
    -DCURL_DISABLE_MIME=ON -DCURL_DISABLE_DOH=ON -DCURL_DISABLE_NETRC=ON
    -DCURL_DISABLE_CRYPTO_AUTH=ON -DCURL_DISABLE_NTLM=ON -DCURL_DISABLE_GETOPTIONS=ON
    -DCURL_DISABLE_LIBCURL_OPTION=ON
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> -j2
  INSTALL_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target install -j2
  BUILD_BYPRODUCTS "${HOBNAR_CURL_PREFIX}/lib/libcurl.a"
  UPDATE_COMMAND ""
  LOG_CONFIGURE ON LOG_BUILD ON LOG_INSTALL ON LOG_OUTPUT_ON_FAILURE ON)
file(MAKE_DIRECTORY "${HOBNAR_CURL_PREFIX}/include")
add_library(CURL::libcurl STATIC IMPORTED GLOBAL)
set_target_properties(CURL::libcurl PROPERTIES
  IMPORTED_LOCATION "${HOBNAR_CURL_PREFIX}/lib/libcurl.a"
  INTERFACE_INCLUDE_DIRECTORIES "${HOBNAR_CURL_PREFIX}/include"
  INTERFACE_COMPILE_DEFINITIONS CURL_STATICLIB
  INTERFACE_LINK_LIBRARIES
    "ws2_32;hobnar_delay_crypt32;hobnar_delay_bcrypt;secur32;normaliz;advapi32;iphlpapi")
add_dependencies(CURL::libcurl hobnar_curl_build)

include(${CMAKE_CURRENT_LIST_DIR}/DelayLoad.cmake)

# ---- UnRAR: the documented DLL interface, linked into the program ---------
# The file list is the one of UnRAR's own Windows DLL project (isnt.cpp
# included, which the Unix makefile leaves out).  MinGW's headers are
# lower-case, so PowrProf.h and Wbemidl.h are forwarded, and _bstr_t needs
# _com_util::ConvertStringToBSTR, which no MinGW library provides.  Compiled
# once: hobnar_unrar, the static library the installer links (one file to
# download, nothing to load by name), and unrar.dll of the same objects, a
# real DLL for the tests of the platform layer's library loading.
hobnar_debian_source(HOBNAR_UNRAR_SOURCE unrar-nonfree)
set(HOBNAR_UNRAR_FILES
  archive arcread blake2s cmddata consio crc crypt dll encname errhnd extinfo extract
  filcreat file filefn filestr find getbits global hash headers isnt match options pathfn
  qopen rar rarvm rawread rdwrfn rijndael rs rs16 scantree secpassword sha1 sha256
  smallfn strfn strlist system threadpool timefn ui unicode unpack volume)
list(TRANSFORM HOBNAR_UNRAR_FILES PREPEND "${HOBNAR_UNRAR_SOURCE}/")
list(TRANSFORM HOBNAR_UNRAR_FILES APPEND ".cpp")
add_library(hobnar_unrar_objects OBJECT ${HOBNAR_UNRAR_FILES}
                                        "${PROJECT_SOURCE_DIR}/cmake/win32/unrar_com_util.cpp")
target_compile_definitions(hobnar_unrar_objects PRIVATE RARDLL UNRAR SILENT UNICODE _UNICODE)
target_include_directories(hobnar_unrar_objects PRIVATE
                           "${PROJECT_SOURCE_DIR}/cmake/win32/unrar-include")
target_compile_options(hobnar_unrar_objects PRIVATE -w -Os)
# powrprof is no KnownDLL: loaded at its first call, if ever (cmake/DelayLoad.cmake).
set(HOBNAR_UNRAR_SYSTEM_LIBRARIES hobnar_delay_powrprof shlwapi ole32 oleaut32 wbemuuid)
add_library(hobnar_unrar STATIC $<TARGET_OBJECTS:hobnar_unrar_objects>)
target_link_libraries(hobnar_unrar INTERFACE ${HOBNAR_UNRAR_SYSTEM_LIBRARIES})
add_library(unrar SHARED $<TARGET_OBJECTS:hobnar_unrar_objects> "${HOBNAR_UNRAR_SOURCE}/dll.def")
# The exports keep the undecorated names of dll.def (RAROpenArchiveEx, not
# RAROpenArchiveEx@4), the names a caller asks GetProcAddress for.
target_link_options(unrar PRIVATE -Wl,--enable-stdcall-fixup -Wl,--kill-at)
target_link_libraries(unrar PRIVATE ${HOBNAR_UNRAR_SYSTEM_LIBRARIES})
set_target_properties(unrar PROPERTIES PREFIX "" OUTPUT_NAME unrar)

# ---- pugixml: one source file ------------------------------------------------
hobnar_debian_source(HOBNAR_PUGIXML_SOURCE pugixml)
add_library(hobnar_pugixml STATIC "${HOBNAR_PUGIXML_SOURCE}/src/pugixml.cpp")
# The layouts are read from memory by walking the tree: no XPath, no
# iostreams (which bring the whole of the C++ locale library), optimised for size.
target_compile_definitions(hobnar_pugixml PUBLIC PUGIXML_NO_XPATH PUGIXML_NO_STL)
target_compile_options(hobnar_pugixml PRIVATE -Os)
target_include_directories(hobnar_pugixml SYSTEM PUBLIC "${HOBNAR_PUGIXML_SOURCE}/src")
add_library(pugixml::pugixml ALIAS hobnar_pugixml)

# ---- libsodium: static, from the list of its sources -----------------------
# Its autotools files are not generated in Debian's source package, so the C
# files are compiled directly with the defines configure would find for
# MinGW.  The SIMD variants stay out (their intrinsics headers are not
# declared available); the portable code paths are the same algorithms.
hobnar_debian_source(HOBNAR_SODIUM_SOURCE libsodium)
file(GLOB_RECURSE HOBNAR_SODIUM_FILES "${HOBNAR_SODIUM_SOURCE}/src/libsodium/*.c")
add_library(hobnar_sodium STATIC ${HOBNAR_SODIUM_FILES})
# The headers with the version.h that configure would write (the one of
# upstream's Visual Studio build), copied together: version.h includes its
# neighbours by their bare names.
set(HOBNAR_SODIUM_INCLUDE "${HOBNAR_DEPS_DIR}/sodium-include")
file(COPY "${HOBNAR_SODIUM_SOURCE}/src/libsodium/include/" DESTINATION "${HOBNAR_SODIUM_INCLUDE}"
     FILES_MATCHING PATTERN "*.h")
configure_file("${HOBNAR_SODIUM_SOURCE}/builds/msvc/version.h"
               "${HOBNAR_SODIUM_INCLUDE}/sodium/version.h" COPYONLY)
target_include_directories(hobnar_sodium SYSTEM PUBLIC "${HOBNAR_SODIUM_INCLUDE}"
                                         PRIVATE "${HOBNAR_SODIUM_INCLUDE}/sodium")
target_compile_definitions(hobnar_sodium PUBLIC SODIUM_STATIC
                                         PRIVATE CONFIGURED=1 NATIVE_LITTLE_ENDIAN=1)
# C: no exception passes through it, so it needs no unwind tables; optimised
# for size (it hashes far faster than any network delivers).
target_compile_options(hobnar_sodium PRIVATE -w -Os -fno-asynchronous-unwind-tables)
target_link_libraries(hobnar_sodium PUBLIC advapi32)
add_library(libsodium::libsodium ALIAS hobnar_sodium)

# ---- Header-only libraries of the build machine -----------------------------
# Each gets a folder holding only its own header (a link to it).
function(hobnar_header_folder target header)
  set(folder "${HOBNAR_DEPS_DIR}/include-${target}")
  get_filename_component(name "${header}" NAME)
  file(MAKE_DIRECTORY "${folder}")
  file(CREATE_LINK "${header}" "${folder}/${name}" SYMBOLIC)
  add_library(${target} INTERFACE)
  target_include_directories(${target} SYSTEM INTERFACE "${folder}")
endfunction()

hobnar_header_folder(hobnar_nlohmann_json /usr/include/nlohmann)
add_library(nlohmann_json::nlohmann_json ALIAS hobnar_nlohmann_json)

# Debian's libcpp-httplib-dev is split into declarations and a Linux library;
# its source package keeps upstream's header-only form.
hobnar_debian_source(HOBNAR_HTTPLIB_SOURCE cpp-httplib)
hobnar_header_folder(hobnar_httplib "${HOBNAR_HTTPLIB_SOURCE}/httplib.h")
target_link_libraries(hobnar_httplib INTERFACE ws2_32)
add_library(httplib::httplib ALIAS hobnar_httplib)

# ---- GoogleTest --------------------------------------------------------------
if(HOBNAR_BUILD_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  # Its own list file names the targets GTest::gtest, GTest::gtest_main...
  add_subdirectory(/usr/src/googletest "${HOBNAR_DEPS_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
endif()
