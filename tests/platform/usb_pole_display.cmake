# The loader against real libraries: the emulator, and one that lacks an entry point. Both are
# named libusbpd.so, in folders of their own, as the server would find them.
add_library(usbpd_incomplete_for_tests SHARED ${CMAKE_CURRENT_LIST_DIR}/usb_pole_display_incomplete_lib.cpp)
set_target_properties(usbpd_incomplete_for_tests PROPERTIES
  OUTPUT_NAME usbpd
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/usbpd-incomplete
  CXX_VISIBILITY_PRESET hidden)

kestova_add_test(usb_pole_display_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/usb_pole_display_test.cpp
  LIBS kestova_platform kestova_testsupport)
add_dependencies(usb_pole_display_tests usbpd_incomplete_for_tests)
# A copy beside the test binary too, where a program looks for it.
kestova_place_usbpd_emulator(usb_pole_display_tests)
target_compile_definitions(usb_pole_display_tests PRIVATE
  KESTOVA_TEST_USBPD_EMULATOR="$<TARGET_FILE:kestova_usbpd_emulator>"
  KESTOVA_TEST_USBPD_INCOMPLETE="$<TARGET_FILE:usbpd_incomplete_for_tests>")
