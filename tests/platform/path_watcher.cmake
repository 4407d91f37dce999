# The device-path watcher on real folders, files, links and ptys, in a temporary folder.
kestova_add_test(path_watcher_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/path_watcher_test.cpp
  LIBS kestova_platform kestova_testsupport util)
