# Our own targets build with warnings on and treated as errors; third-party
# headers come in as system includes and stay out of it.
function(hobnar_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                           -Wno-sign-conversion -Werror)
endfunction()

# One static library per subsystem folder.  The Windows program is
# downloaded before anything else happens, so there its code is optimised
# for size (the work it does waits on the network and the disk).  Not the
# platform layer: optimised for size, the backend sender's test under Wine
# ended now and then with std::thread::join failing ("No such process"),
# which is not understood yet; at -O2 it never did.
function(hobnar_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  hobnar_warnings(${name})
  if(WIN32 AND NOT name MATCHES "^hobnar_platform$")
    target_compile_options(${name} PRIVATE -Os)
  endif()
endfunction()
