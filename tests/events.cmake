# The event sentences in both languages: EventProbe is built in both builds
# from one source; the comparison (Linux build, label "wine") runs the Linux
# probe in an English and a Chinese locale and the Windows probe under Wine,
# which reads the message table of VlmRefreshSvc.exe.
add_executable(EventProbe ${CMAKE_CURRENT_LIST_DIR}/event-probe/EventProbe.cpp)
target_link_libraries(EventProbe PRIVATE vlmcore)
target_include_directories(EventProbe PRIVATE ${VLM_GENERATED_DIR})
set_target_properties(EventProbe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
if(NOT CMAKE_CROSSCOMPILING)
  target_sources(EventProbe PRIVATE ${CMAKE_CURRENT_LIST_DIR}/support/TestSupport.cpp)
  target_include_directories(EventProbe PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  vlm_wine_test(events.SentencesMatchWindows 120 NEEDS tests/EventProbe.exe VlmRefreshSvc.exe
    COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/event-probe/compare.sh
      $<TARGET_FILE:EventProbe> ${VLM_WINDOWS_BUILD_DIR}/tests/EventProbe.exe
      ${VLM_WINDOWS_BUILD_DIR}/VlmRefreshSvc.exe ${CMAKE_SOURCE_DIR})
endif()
