# The MQTT manager publishes packets through the MQTT client; its own target keeps the packet
# library free of the client. Its catalogue of outbound packets reads the RFID key cards and
# readers, so it links the RFID library too.
add_library(kestova_mqtt_manager STATIC
  ${CMAKE_CURRENT_LIST_DIR}/mqtt_manager.cpp
  ${CMAKE_CURRENT_LIST_DIR}/command_catalogue.cpp)
target_include_directories(kestova_mqtt_manager PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(kestova_mqtt_manager PUBLIC kestova_messaging kestova_mqtt kestova_file_logger kestova_rfid)
