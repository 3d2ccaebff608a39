# INI tests beyond the unit tests.
#
# IniProbe runs the INI corpus (tests/ini-corpus/) through a build's profile
# functions; it is built in both builds from one source. The differential
# test (Linux build only, label "wine") runs the Linux probe and the Windows
# probe under Wine and compares every read and every file after a write.
add_executable(IniProbe ${CMAKE_CURRENT_LIST_DIR}/ini-probe/IniProbe.cpp)
target_link_libraries(IniProbe PRIVATE vlmcore)

if(NOT CMAKE_CROSSCOMPILING)
  vlm_wine_test(ini.differential 120 NEEDS tests/IniProbe.exe
    COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/ini-probe/compare.sh
      $<TARGET_FILE:IniProbe> ${VLM_WINDOWS_BUILD_DIR}/tests/IniProbe.exe
      ${CMAKE_CURRENT_LIST_DIR}/ini-corpus ${CMAKE_SOURCE_DIR})

  # Starting either executable in an empty directory creates the same config.ini.
  vlm_wine_test(ini.first_start 120 NEEDS VlmRefreshSvc.exe
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/ini-probe/first-start.sh
      $<TARGET_FILE:VlmRefreshSvc> ${VLM_WINDOWS_BUILD_DIR}/VlmRefreshSvc.exe
      ${CMAKE_SOURCE_DIR})
endif()
