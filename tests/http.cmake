# Page request tests beyond the unit tests. HttpProbe runs FetchPage in a
# program of its own (both builds); the native side runs the Windows probe
# under Wine through the scenarios, against the loopback servers.
add_executable(HttpProbe ${CMAKE_CURRENT_LIST_DIR}/http-probe/HttpProbe.cpp)
target_include_directories(HttpProbe PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(HttpProbe PRIVATE vlmcore)

if(NOT CMAKE_CROSSCOMPILING)
  add_executable(HttpWineTests
    ${CMAKE_CURRENT_LIST_DIR}/http-probe/WineHttpTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/support/HttpScenarios.cpp ${CMAKE_CURRENT_LIST_DIR}/support/TestSupport.cpp)
  target_include_directories(HttpWineTests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(HttpWineTests PRIVATE vlmcore vlmpageserver ${VLM_GTEST})
  target_compile_definitions(HttpWineTests PRIVATE ${VLM_TEST_DEFINITIONS})
  vlm_wine_test(http.ScenariosUnderWine 700 NEEDS tests/HttpProbe.exe COMMAND $<TARGET_FILE:HttpWineTests>)
endif()
