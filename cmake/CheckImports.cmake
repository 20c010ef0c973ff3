# cmake -DPROGRAM=hobnar-setup.exe -DOBJDUMP=... -P CheckImports.cmake
# Fails when the program imports, at load time, a DLL outside Windows'
# KnownDLLs (and the system's own API sets): the loader would look for such
# a DLL beside the program first, before main could stop it.
cmake_minimum_required(VERSION 3.22)
set(known advapi32 clbcatq combase comdlg32 coml2 difxapi gdi32 gdiplus imagehlp imm32 kernel32
    msctf msvcrt normaliz nsi ole32 oleaut32 psapi rpcrt4 sechost setupapi shcore shell32
    shlwapi user32 wldap32 ws2_32)
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE headers RESULT_VARIABLE read)
if(NOT read EQUAL 0)
  message(FATAL_ERROR "cannot read the import table of ${PROGRAM}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
set(outside "")
foreach(line IN LISTS imports)
  string(REGEX REPLACE "DLL Name: *" "" dll "${line}")
  string(TOLOWER "${dll}" dll)
  string(REGEX REPLACE "\\.dll$" "" dll "${dll}")
  if(NOT dll IN_LIST known AND NOT dll MATCHES "^(api|ext)-ms-win-")
    list(APPEND outside ${dll})
  endif()
endforeach()
if(outside)
  message(FATAL_ERROR "${PROGRAM} imports DLLs a planted copy of could replace: ${outside}")
endif()
message(STATUS "${PROGRAM} imports only: ${imports}")
