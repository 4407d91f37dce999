# Codec, frame reader, session, topic rules and logger: pure units, no network.
kestova_add_test(mqtt_codec_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/utils_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/packets_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/packet_factory_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frame_reader_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/client_session_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/topic_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/reconnect_schedule_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/logger_test.cpp
  LIBS kestova_mqtt
  LABELS unit)
target_include_directories(mqtt_codec_tests PRIVATE ${PROJECT_SOURCE_DIR})
