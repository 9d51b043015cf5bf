# The text value, in a library of its own: VMString derives from the value
# classes (bv_values, above the files), and BVFile's text members create
# VMStrings, so bv_file and bv_vmstring need each other. CMake repeats static
# libraries of such a cycle on the link line.
add_library(bv_vmstring STATIC ${CMAKE_CURRENT_LIST_DIR}/VMValue.cpp
                               ${CMAKE_CURRENT_LIST_DIR}/VMString.cpp
                               ${CMAKE_CURRENT_LIST_DIR}/VMStringPending.cpp)
target_link_libraries(bv_vmstring PUBLIC bv_values bv_text bv_platform)
target_link_libraries(bv_file PUBLIC bv_vmstring)
target_sources(bv_vmstring PRIVATE ${CMAKE_CURRENT_LIST_DIR}/VMStringFormat.cpp)
target_sources(bv_vmstring PRIVATE ${CMAKE_CURRENT_LIST_DIR}/VMStringEdit.cpp)
target_sources(bv_vmstring PRIVATE ${CMAKE_CURRENT_LIST_DIR}/VMStringSearch.cpp)
target_sources(bv_vmstring PRIVATE ${CMAKE_CURRENT_LIST_DIR}/VMStringParts.cpp)
target_sources(bv_vmstring PRIVATE ${CMAKE_CURRENT_LIST_DIR}/VMStringCipher.cpp)
target_link_libraries(bv_vmstring PUBLIC bv_crypt)
target_sources(bv_vmstring PRIVATE ${CMAKE_CURRENT_LIST_DIR}/VMStringConvert.cpp)
# The vector loops of the comparisons, searches and hash; the hash feeds the
# decompressor's CRC-32.
target_sources(bv_vmstring PRIVATE ${CMAKE_CURRENT_LIST_DIR}/TextVector.cpp)
target_link_libraries(bv_vmstring PUBLIC bv_inflate)
# bv_inflate joins the cycle above; one more round of it on the link line
# keeps a program that names bv_inflate first from losing the CRC-32.
set_property(TARGET bv_vmstring PROPERTY LINK_INTERFACE_MULTIPLICITY 3)
