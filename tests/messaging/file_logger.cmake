kestova_add_test(file_logger_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/file_logger_test.cpp
  LIBS kestova_file_logger kestova_testsupport)
