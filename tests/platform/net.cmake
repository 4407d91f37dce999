# TCP sockets and TLS against real loopback peers and a mosquitto broker.
kestova_add_test(platform_net_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tcp_socket_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tls_stream_test.cpp
  LIBS kestova_tls kestova_testsupport
  LABELS integration)
