kestova_add_test(messaging_packet_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/packet_command_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/xml_packet_test.cpp
  LIBS kestova_messaging)
