kestova_add_test(messaging_packet_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/packet_command_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/xml_packet_test.cpp
  LIBS kestova_messaging)

# The integrator tool, run as a program the way integrators run it.
if(TARGET kestova-packet)
  kestova_add_test(messaging_packet_tool_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/packet_tool_test.cpp
    LIBS kestova_messaging kestova_testsupport
    LABELS integration)
  target_compile_definitions(messaging_packet_tool_tests PRIVATE
    KESTOVA_PACKET_TOOL="$<TARGET_FILE:kestova-packet>")
  add_dependencies(messaging_packet_tool_tests kestova-packet)
endif()
