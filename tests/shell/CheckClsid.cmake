# The provider's class identifier is written down once, as kProviderClsid in
# src/shell/Guids.h; the registration text is derived from it in the code.
# The installer source and the installer's black-box checks spell it out as
# text on purpose (they must not trust the handler's headers); this script
# checks that each such spelling is the same identifier.
# Usage: cmake -DSOURCE=<source tree> -P CheckClsid.cmake
file(READ ${SOURCE}/src/shell/Guids.h guids)
string(REGEX MATCH "kProviderClsid = {[^;]*}}" initializer "${guids}")
string(REGEX MATCHALL "0x[0-9A-Fa-f]+" numbers "${initializer}")
list(LENGTH numbers count)
if(NOT count EQUAL 11)
  message(FATAL_ERROR "kProviderClsid's eleven numbers not found in Guids.h")
endif()
set(widths 8 4 4 2 2 2 2 2 2 2 2)
set(parts "")
foreach(i RANGE 1 11)
  math(EXPR at "${i} - 1")
  list(GET widths ${at} width)
  list(GET numbers ${at} digits)
  string(SUBSTRING "${digits}" 2 -1 digits)
  string(TOUPPER "${digits}" digits)
  string(LENGTH "${digits}" n)
  while(n LESS width)
    string(PREPEND digits "0")
    math(EXPR n "${n} + 1")
  endwhile()
  list(APPEND parts "${digits}")
endforeach()
list(JOIN parts "" hex)
string(SUBSTRING "${hex}" 0 8 a)
string(SUBSTRING "${hex}" 8 4 b)
string(SUBSTRING "${hex}" 12 4 c)
string(SUBSTRING "${hex}" 16 4 d)
string(SUBSTRING "${hex}" 20 12 e)
set(clsid "{${a}-${b}-${c}-${d}-${e}}")

# file | the spelling, as a regular expression whose first group is the text
set(copies
    "packaging/brivel2thumb.wxs|define ClassId = \"([^\"]*)\""
    "tests/packaging/ComActivationProbe.cpp|kClassId\\[\\] = L\"([^\"]*)\""
    "tests/packaging/msi_test_lib.sh|\nclsid='([^']*)'")
set(failures "")
foreach(copy IN LISTS copies)
  string(REPLACE "|" ";" copy "${copy}")
  list(GET copy 0 path)
  list(GET copy 1 pattern)
  if(NOT EXISTS ${SOURCE}/${path})
    continue() # gone, or no longer spelled out: nothing to disagree
  endif()
  file(READ ${SOURCE}/${path} text)
  string(REGEX MATCHALL "${pattern}" spellings "${text}")
  foreach(spelling IN LISTS spellings)
    string(REGEX MATCH "${pattern}" _ "${spelling}")
    string(TOUPPER "${CMAKE_MATCH_1}" found)
    if(NOT found STREQUAL clsid)
      string(APPEND failures "${path}: ${CMAKE_MATCH_1}, but Guids.h says ${clsid}\n")
    endif()
  endforeach()
endforeach()
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
message(STATUS "every spelled-out copy is ${clsid}")
