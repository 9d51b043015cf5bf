# Tests of the text value and of BVFile's text members (see src/text/VMString.cmake).
bv_add_test(vmstring_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/VMStringSlotTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/VMStringTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/VMStringPendingTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/VMStringFileTest.cpp
  LIBS bv_vmstring bv_file)
target_sources(vmstring_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/VMStringSearchTest.cpp)
target_sources(vmstring_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/VMStringFormatTest.cpp)
target_sources(vmstring_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/VMStringEditTest.cpp)
target_sources(vmstring_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/VMStringPartsTest.cpp)
target_sources(vmstring_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/VMStringCipherTest.cpp)
target_sources(vmstring_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/VMStringConvertTest.cpp)
# zlib's crc32 is the control for HashNoCase; it exists for the host only.
if(NOT WIN32)
  find_package(ZLIB REQUIRED)
  target_sources(vmstring_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/VMStringHashZlibTest.cpp)
  target_link_libraries(vmstring_test PRIVATE ZLIB::ZLIB)
endif()
target_sources(vmstring_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/TextVectorTest.cpp)
