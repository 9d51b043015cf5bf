# The memory, disk and stream files, in the bv_file library next to the core.
# The stream file speaks COM and exists in the Windows builds only.
target_sources(bv_file PRIVATE ${CMAKE_CURRENT_LIST_DIR}/BVMemoryFile.cpp
                               ${CMAKE_CURRENT_LIST_DIR}/BVWin32File.cpp)
if(WIN32)
  target_sources(bv_file PRIVATE ${CMAKE_CURRENT_LIST_DIR}/BVWin32StreamFile.cpp)
  target_link_libraries(bv_file PUBLIC shlwapi ole32 uuid)
endif()
