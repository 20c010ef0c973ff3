# Delay-load import libraries for the system DLLs the program calls that are
# not on Windows' KnownDLLs list.  An elevated program imports such a DLL
# from its own folder first (a browser's Downloads folder, where a web page
# may have dropped one), before main runs; delay-loaded, the DLL is loaded
# at its first call, after main has limited the search to System32
# (SetDefaultDllDirectories).
#
#   hobnar_delay_loaded(crypt32)  ->  target hobnar_delay_crypt32
#
# The .def is made from MinGW's own import library, so it names exactly the
# functions (with their stdcall decorations) that library has.
find_program(HOBNAR_DLLTOOL ${HOBNAR_MINGW_TRIPLE}-dlltool REQUIRED)
find_program(HOBNAR_MINGW_NM ${HOBNAR_MINGW_TRIPLE}-nm REQUIRED)

function(hobnar_delay_loaded name)
  set(import_lib /usr/${HOBNAR_MINGW_TRIPLE}/lib/lib${name}.a)
  set(def ${CMAKE_BINARY_DIR}/delayload/${name}.def)
  set(delay_lib ${CMAKE_BINARY_DIR}/delayload/lib${name}_delay.a)
  if(NOT EXISTS ${def})
    execute_process(COMMAND ${HOBNAR_MINGW_NM} -g --defined-only ${import_lib}
                    OUTPUT_VARIABLE symbols RESULT_VARIABLE listed ERROR_QUIET)
    if(NOT listed EQUAL 0)
      message(FATAL_ERROR "cannot list ${import_lib}")
    endif()
    string(REGEX MATCHALL " T _[A-Za-z0-9_]+@[0-9]+" functions "${symbols}")
    list(TRANSFORM functions REPLACE " T _" "  ")
    list(REMOVE_DUPLICATES functions)
    list(JOIN functions "\n" exports)
    file(WRITE ${def} "LIBRARY ${name}.dll\nEXPORTS\n${exports}\n")
  endif()
  add_custom_command(OUTPUT ${delay_lib}
    COMMAND ${HOBNAR_DLLTOOL} -k -d ${def} -D ${name}.dll -y ${delay_lib}
    DEPENDS ${def} VERBATIM)
  add_custom_target(hobnar_delay_${name}_lib DEPENDS ${delay_lib})
  add_library(hobnar_delay_${name} STATIC IMPORTED GLOBAL)
  set_target_properties(hobnar_delay_${name} PROPERTIES
    IMPORTED_LOCATION ${delay_lib} INTERFACE_LINK_LIBRARIES delayimp)
  add_dependencies(hobnar_delay_${name} hobnar_delay_${name}_lib)
endfunction()

foreach(dll bcrypt crypt32 netapi32 powrprof winhttp)
  hobnar_delay_loaded(${dll})
endforeach()
