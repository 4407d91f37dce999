# The levelled file logger: its own small library, so the RFID reader can use it without the
# rest of the messaging unit.
add_library(kestova_file_logger STATIC
  ${CMAKE_CURRENT_LIST_DIR}/file_logger.cpp)
target_include_directories(kestova_file_logger PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(kestova_file_logger PUBLIC kestova_platform)
