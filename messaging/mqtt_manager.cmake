# The MQTT manager publishes packets through the MQTT client; its own target keeps the packet
# library free of the client.
add_library(kestova_mqtt_manager STATIC ${CMAKE_CURRENT_LIST_DIR}/mqtt_manager.cpp)
target_include_directories(kestova_mqtt_manager PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(kestova_mqtt_manager PUBLIC kestova_messaging kestova_mqtt kestova_file_logger)
