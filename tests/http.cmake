# Page request tests beyond the unit tests: the loopback server needs OpenSSL
# on the native build; the Windows build gets a probe that the native side
# runs under Wine against the same server.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(OpenSSL REQUIRED)
  target_link_libraries(VlmRefreshTests PRIVATE OpenSSL::SSL OpenSSL::Crypto)
endif()
