# Tests of the service host beyond the unit tests.
#   Windows build: ServiceCtl.exe, a helper that starts, controls and queries
#     an installed service (Wine's sc cannot send user-defined controls).
#   Linux build: service.wine (it uses VlmPageServer, the loopback page
#     server of tools/run.sh), which installs, runs, controls and removes the
#     Windows build under Wine, and package.msi, its MSI under Wine's msiexec
#     (label "wine"); service.stop_native and service.stop_wine (labels "slow"
#     and "wine"), a stop at every moment of a run on the real executable of
#     each build; service.systemd (label
#     "systemd"), the Linux build under a real systemd, and package.systemd
#     (same label), its Debian package; the process tests of
#     the Linux build (in VlmRefreshTests) need VlmRefreshSvc built first.
if(CMAKE_CROSSCOMPILING)
  add_executable(ServiceCtl ${CMAKE_CURRENT_SOURCE_DIR}/service-ctl/ServiceCtl.cpp)
  target_link_libraries(ServiceCtl PRIVATE advapi32)
  set_target_properties(ServiceCtl PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
else()
  add_dependencies(VlmRefreshTests VlmRefreshSvc VlmPageServer)
  vlm_wine_test(service.wine 300 NEEDS VlmRefreshSvc.exe ServiceCtl.exe
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/service-wine/WineServiceTest.sh
            ${VLM_WINDOWS_BUILD_DIR} $<TARGET_FILE:VlmPageServer>)
  # The Windows Installer package (made with wixl from the Windows build)
  # installed, upgraded and removed by Wine's msiexec.
  vlm_wine_test(package.msi 300 NEEDS VlmRefreshSvc.exe ServiceCtl.exe
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/service-wine/MsiTest.sh ${VLM_WINDOWS_BUILD_DIR})
  set(stop_test bash ${CMAKE_CURRENT_SOURCE_DIR}/service-stop/StopTest.sh)
  add_test(NAME service.stop_native COMMAND ${stop_test} native $<TARGET_FILE:VlmRefreshSvc> $<TARGET_FILE:VlmPageServer>)
  vlm_wine_test(service.stop_wine 240 NEEDS VlmRefreshSvc.exe
    COMMAND ${stop_test} wine ${VLM_WINDOWS_BUILD_DIR}/VlmRefreshSvc.exe $<TARGET_FILE:VlmPageServer>)
  set_tests_properties(service.stop_native PROPERTIES LABELS slow TIMEOUT 240)
  set_tests_properties(service.wine package.msi service.stop_native service.stop_wine PROPERTIES RUN_SERIAL TRUE)
  # The Linux build under a real systemd booted in a throw-away machine
  # (tests/systemd/container.sh); needs root, systemd-nspawn and overlayfs,
  # and reports a skip (exit code 77, a "SKIP:" line saying why) without them.
  add_test(NAME service.systemd
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/systemd/SystemdServiceTest.sh
            $<TARGET_FILE:VlmRefreshSvc> $<TARGET_FILE:VlmPageServer>)
  # The Debian package (made with cpack from this build) installed, run,
  # removed and purged under a real systemd, with the same skip rules.
  add_test(NAME package.systemd
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/systemd/PackageTest.sh
            ${CMAKE_BINARY_DIR} $<TARGET_FILE:VlmPageServer>)
  set_tests_properties(service.systemd package.systemd PROPERTIES LABELS systemd TIMEOUT 600
                       RUN_SERIAL TRUE SKIP_RETURN_CODE 77)
endif()
