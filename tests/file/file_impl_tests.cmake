# Tests of the memory, disk and stream files; the stream file is Windows-only.
set(BV_FILE_IMPL_TESTS BVMemoryFileTest.cpp BVWin32FileTest.cpp BVFileImplSlotTest.cpp)
if(WIN32)
  list(APPEND BV_FILE_IMPL_TESTS BVWin32StreamFileTest.cpp)
endif()
bv_add_test(file_impl_test SOURCES ${BV_FILE_IMPL_TESTS} LIBS bv_file)
