# Page request tests beyond the unit tests: the loopback server needs OpenSSL
# on the native build; the Windows build gets a probe that the native side
# runs under Wine against the same server.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(OpenSSL REQUIRED)
  target_link_libraries(VlmRefreshTests PRIVATE OpenSSL::SSL OpenSSL::Crypto)
endif()

# HttpProbe: FetchPage from a program of its own (both builds). Under Wine it
# runs the scenarios for the Windows build; natively it also serves the
# benchmark page (bench/fetch-vs-curl.sh).
set(VLM_HTTP_PROBE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/http-probe/HttpProbe.cpp)
if(NOT CMAKE_CROSSCOMPILING)
  list(APPEND VLM_HTTP_PROBE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/support/TestHttpServer.cpp)
endif()
add_executable(HttpProbe ${VLM_HTTP_PROBE_SOURCES})
target_include_directories(HttpProbe PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(HttpProbe PRIVATE vlmcore)
set_target_properties(HttpProbe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

if(NOT CMAKE_CROSSCOMPILING)
  target_link_libraries(HttpProbe PRIVATE OpenSSL::SSL OpenSSL::Crypto)
  add_executable(HttpWineTests
    ${CMAKE_CURRENT_LIST_DIR}/http-probe/WineHttpTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/support/HttpScenarios.cpp
    ${CMAKE_CURRENT_LIST_DIR}/support/TestHttpServer.cpp)
  target_include_directories(HttpWineTests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(HttpWineTests PRIVATE vlmcore ${VLM_GTEST} OpenSSL::SSL OpenSSL::Crypto)
  target_compile_definitions(HttpWineTests PRIVATE
    VLM_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    VLM_BINARY_DIR="${CMAKE_BINARY_DIR}"
    VLM_WINDOWS_BUILD_DIR="${CMAKE_SOURCE_DIR}/build/windows")
  add_test(NAME http.ScenariosUnderWine COMMAND HttpWineTests)
  set_tests_properties(http.ScenariosUnderWine PROPERTIES LABELS wine TIMEOUT 700)
endif()
