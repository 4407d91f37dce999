# The XML packet and its command set; the other parts of the messaging unit are targets of
# their own that link this one.
set(kestova_messaging_packet_sources
  ${CMAKE_CURRENT_LIST_DIR}/command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xml_packet.cpp)
add_library(kestova_messaging STATIC ${kestova_messaging_packet_sources})
target_include_directories(kestova_messaging PUBLIC ${PROJECT_SOURCE_DIR})
# mqtt/global.h supplies TMqttQoS, a header-only enumeration; no MQTT code is linked for it.
target_link_libraries(kestova_messaging PUBLIC kestova_xml kestova_platform)
