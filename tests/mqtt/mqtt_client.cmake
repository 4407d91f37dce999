# Transport, worker threads and client: exact bytes against a scripted loopback broker, a real
# mosquitto started by the fixtures, faults through a proxy; the send tool end to end.
kestova_add_test(mqtt_client_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/client_test_support.cpp
    ${CMAKE_CURRENT_LIST_DIR}/network_connection_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/client_wire_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/client_broker_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/client_rules_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/client_fault_test.cpp
  LIBS kestova_mqtt kestova_testsupport
  LABELS integration)
target_include_directories(mqtt_client_tests PRIVATE ${PROJECT_SOURCE_DIR})

# kestova-send run as a program against mosquitto.
kestova_add_test(mqtt_send_tool_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/client_test_support.cpp
    ${CMAKE_CURRENT_LIST_DIR}/send_tool_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/send_tool_op_test.cpp
  LIBS kestova_mqtt kestova_messaging kestova_testsupport
  LABELS integration)
target_include_directories(mqtt_send_tool_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(mqtt_send_tool_tests PRIVATE KESTOVA_SEND_TOOL="$<TARGET_FILE:kestova-send>")
add_dependencies(mqtt_send_tool_tests kestova-send)
