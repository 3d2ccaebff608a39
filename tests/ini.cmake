# INI tests beyond the unit tests.
#
# IniProbe runs the INI corpus (tests/ini-corpus/) through a build's profile
# functions; it is built in both builds from one source. The differential
# test (Linux build only, label "wine") runs the Linux probe and the Windows
# probe under Wine and compares every read and every file after a write.
add_executable(IniProbe ${CMAKE_CURRENT_LIST_DIR}/ini-probe/IniProbe.cpp)
target_link_libraries(IniProbe PRIVATE vlmcore)

if(NOT CMAKE_CROSSCOMPILING)
  add_test(NAME ini.differential
    COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/ini-probe/compare.sh
      $<TARGET_FILE:IniProbe> ${VLM_WINDOWS_BUILD_DIR}/tests/IniProbe.exe
      ${CMAKE_CURRENT_LIST_DIR}/ini-corpus ${CMAKE_SOURCE_DIR})
  set_tests_properties(ini.differential PROPERTIES LABELS wine TIMEOUT 120)

  # Starting either executable in an empty directory creates the same config.ini.
  add_test(NAME ini.first_start
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/ini-probe/first-start.sh
      $<TARGET_FILE:VlmRefreshSvc> ${VLM_WINDOWS_BUILD_DIR}/VlmRefreshSvc.exe
      ${CMAKE_SOURCE_DIR})
  set_tests_properties(ini.first_start PROPERTIES LABELS wine TIMEOUT 120)
endif()
