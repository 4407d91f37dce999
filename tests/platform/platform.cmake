kestova_add_test(platform_core_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ascii_text_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/string_list_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/number_text_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/hex_bytes_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ini_file_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ini_file_writer_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/text_codec_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/executable_path_test.cpp
  LIBS kestova_platform kestova_testsupport)

kestova_add_test(platform_main_thread_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/main_thread_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/event_loop_test.cpp
  LIBS kestova_platform)
