# The outbound catalogue of the MQTT manager through a real mosquitto.
kestova_add_test(messaging_catalogue_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/command_catalogue_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/rfid/log_capture.cpp
  LIBS kestova_mqtt_manager kestova_testsupport
  LABELS integration)
