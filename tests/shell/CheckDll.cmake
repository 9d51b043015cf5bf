# Checks a built DLL from the outside with objdump: it imports only system
# DLLs (no MinGW runtime DLL, libssp included), exports exactly the four COM
# server entry points, is linked with ASLR and DEP (and high-entropy VA on
# x64; on x86 it is marked as having no SEH handlers, and no code of it
# touches the SEH chain), its functions check stack canaries, and every
# source of it was compiled with the stack protector and _FORTIFY_SOURCE=2.
# Usage: cmake -DOBJDUMP=... -DDLL=... -DX64=ON|OFF -DCOMPILE_COMMANDS=... -P CheckDll.cmake
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
else()
  set(required 0x540) # and NO_SEH
endif()
math(EXPR missing "(${flags} & ${required}) ^ ${required}")
if(NOT missing EQUAL 0)
  string(APPEND failures "DllCharacteristics 0x${CMAKE_MATCH_1} lacks ${required}\n")
endif()

# Canaries: the guard's check is linked in and called. (The x86 symbol
# carries the extra leading underscore.)
execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn ${DLL} OUTPUT_VARIABLE code
                RESULT_VARIABLE rc)
string(REGEX MATCHALL "call[^\n]*<_?__stack_chk_fail>" canary_checks "${code}")
list(LENGTH canary_checks canaries)
if(canaries EQUAL 0)
  string(APPEND failures "no function checks a stack canary (built without -fstack-protector?)\n")
endif()
# An image marked NO_SEH must not register a handler: on x86 that means
# reading or writing the exception list at fs:0.
if(NOT X64 AND code MATCHES "%fs:0x0[^0-9a-fx]")
  string(APPEND failures "code uses the SEH chain at fs:0 but the image says it has no handlers\n")
endif()

# _FORTIFY_SOURCE leaves no mark of its own in an image whose calls needed no
# check, so it is checked where it is set: on every compile of our sources.
file(STRINGS ${COMPILE_COMMANDS} commands REGEX "\"command\": .* -c [^ ]*/src/[^ ]*\\.cpp")
list(LENGTH commands compiled)
if(compiled EQUAL 0)
  string(APPEND failures "no compile of src/ found in ${COMPILE_COMMANDS}\n")
endif()
foreach(command IN LISTS commands)
  foreach(flag -fstack-protector-strong -D_FORTIFY_SOURCE=2)
    if(NOT command MATCHES " ${flag} ")
      string(REGEX MATCH "[^ /]+\\.cpp" source "${command}")
      string(APPEND failures "${source} compiled without ${flag}\n")
    endif()
  endforeach()
endforeach()

if(failures)
  message(FATAL_ERROR "${DLL}:\n${failures}")
endif()
message(STATUS "${DLL}: imports ${imports}; exports ${exported}; characteristics ok; "
               "${canaries} canary checks; ${compiled} sources hardened")
