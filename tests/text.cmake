# Text subsystem: the conversion probe (both builds) and, on Linux, the
# differential test that runs the Windows build's probe under Wine.
add_executable(TextProbe ${CMAKE_CURRENT_LIST_DIR}/text-probe/TextProbe.cpp)
target_link_libraries(TextProbe PRIVATE vlmcore)

if(NOT CMAKE_CROSSCOMPILING)
  vlm_wine_test(text.ConversionMatchesWindows 120 NEEDS tests/TextProbe.exe
    COMMAND $<TARGET_FILE:TextProbe> diff ${CMAKE_SOURCE_DIR}/tools/wine-run.sh
            ${VLM_WINDOWS_BUILD_DIR}/tests/TextProbe.exe
            ${CMAKE_CURRENT_LIST_DIR}/text-probe/best-fit.txt
            ${CMAKE_CURRENT_BINARY_DIR})

  # The fuzz targets as replay programs of the committed corpus (the sanitizer
  # presets replay it under their sanitizers).
  include(${CMAKE_SOURCE_DIR}/fuzz/Targets.cmake)
  foreach(pair ${VLM_FUZZ_TARGETS})
    string(REPLACE ":" ";" pair "${pair}")
    list(GET pair 0 target)
    list(GET pair 1 corpus)
    add_executable(Replay${target} ${CMAKE_SOURCE_DIR}/fuzz/${target}.cpp ${CMAKE_SOURCE_DIR}/fuzz/ReplayMain.cpp)
    target_link_libraries(Replay${target} PRIVATE vlmcore)
    add_test(NAME text.Replay${target} COMMAND Replay${target} ${CMAKE_SOURCE_DIR}/fuzz/corpus/${corpus})
    set_tests_properties(text.Replay${target} PROPERTIES TIMEOUT 120)
  endforeach()
endif()
