# Checks a built DLL from the outside with objdump: it imports only system
# DLLs (no MinGW runtime DLL), exports exactly the four COM server entry
# points, and is linked with ASLR and DEP (and high-entropy VA on x64).
# Usage: cmake -DOBJDUMP=... -DDLL=... -DX64=ON|OFF -P CheckDll.cmake
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${DLL}")
endif()

set(system_dlls ADVAPI32.dll GDI32.dll KERNEL32.dll msvcrt.dll OLE32.dll OLEAUT32.dll
                SHELL32.dll SHLWAPI.dll USER32.dll)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
set(failures "")
foreach(line IN LISTS imports)
  string(REPLACE "DLL Name: " "" name "${line}")
  string(STRIP "${name}" name)
  list(FIND system_dlls "${name}" found)
  if(found EQUAL -1)
    string(APPEND failures "imports a DLL that is not a system DLL: ${name}\n")
  endif()
endforeach()

string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n((\t\\[ *[0-9]+\\] [^\n]+\n)+)" _ "${dump}")
string(REGEX MATCHALL "\\] [A-Za-z0-9_@]+" exported "${CMAKE_MATCH_1}")
string(REPLACE "] " "" exported "${exported}")
set(expected DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer)
if(NOT exported STREQUAL expected)
  string(APPEND failures "exports '${exported}', expected '${expected}'\n")
endif()

string(REGEX MATCH "DllCharacteristics[ \t]+([0-9a-fA-F]+)" _ "${dump}")
math(EXPR flags "0x${CMAKE_MATCH_1}")
set(required 0x140) # DYNAMIC_BASE | NX_COMPAT
if(X64)
  set(required 0x160) # and HIGH_ENTROPY_VA
endif()
math(EXPR missing "(${flags} & ${required}) ^ ${required}")
if(NOT missing EQUAL 0)
  string(APPEND failures "DllCharacteristics 0x${CMAKE_MATCH_1} lacks ${required}\n")
endif()

if(failures)
  message(FATAL_ERROR "${DLL}:\n${failures}")
endif()
message(STATUS "${DLL}: imports ${imports}; exports ${exported}; characteristics ok")
