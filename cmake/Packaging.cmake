# Release packages, made by tools/package.sh with CPack in a build directory:
#   Linux build:   cpack -G DEB  -> vlmrefresh_<version>_amd64.deb
#   Windows build: cpack -G ZIP  -> vlmrefresh-<version>-windows-x64.zip
#   (and tools/make-msi.sh       -> vlmrefresh-<version>-x64.msi)
# The version is the project's (CMakeLists.txt); the Debian changelog's
# newest entry must name the same one.
set(VLM_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_PACKAGE_NAME vlmrefresh)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "VlmRefresh developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service that keeps one web page refreshed on a timetable")
set(CPACK_STRIP_FILES TRUE)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)

if(WIN32)
  # The zip: the executable and a short README in English (README.txt) and
  # in Simplified Chinese (README.zh-CN.txt), UTF-8 with a byte-order mark
  # and CR LF line ends, as Notepad shows them. (The MSI is made from the
  # same build by tools/make-msi.sh.)
  foreach(vlm_readme README.txt README.zh-CN.txt)
    configure_file(${VLM_PACKAGING_DIR}/windows/${vlm_readme}.in
      ${CMAKE_BINARY_DIR}/packaging/${vlm_readme} @ONLY NEWLINE_STYLE CRLF)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/${vlm_readme} DESTINATION .)
  endforeach()
  install(TARGETS VlmRefreshSvc RUNTIME DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME vlmrefresh-${PROJECT_VERSION}-windows-x64)
else()
  file(STRINGS ${VLM_PACKAGING_DIR}/deb/changelog vlm_changelog_head LIMIT_COUNT 1)
  if(NOT vlm_changelog_head MATCHES "^vlmrefresh \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/deb/changelog: the newest entry is not version ${PROJECT_VERSION}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VLM_PACKAGING_DIR}/deb/changelog)

  # Debian keeps a package's changelog compressed, without a time stamp.
  set(vlm_changelog_gz ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
  add_custom_command(OUTPUT ${vlm_changelog_gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND gzip -9nc ${VLM_PACKAGING_DIR}/deb/changelog > ${vlm_changelog_gz}
    DEPENDS ${VLM_PACKAGING_DIR}/deb/changelog)
  add_custom_target(vlm_changelog ALL DEPENDS ${vlm_changelog_gz})

  # The package's unit file, made by the code that writes the unit of -i
  # (packaging/deb/MakeUnit.cpp), and the system user it runs as.
  add_executable(vlm_make_unit ${VLM_PACKAGING_DIR}/deb/MakeUnit.cpp)
  target_link_libraries(vlm_make_unit PRIVATE vlmcore)
  set(vlm_unit_file ${CMAKE_BINARY_DIR}/packaging/VlmRefresh.service)
  add_custom_command(OUTPUT ${vlm_unit_file}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND vlm_make_unit ${vlm_unit_file}
    DEPENDS vlm_make_unit)
  add_custom_target(vlm_unit ALL DEPENDS ${vlm_unit_file})

  set(vlm_doc_dir usr/share/doc/vlmrefresh)
  install(TARGETS VlmRefreshSvc RUNTIME DESTINATION opt/vlmrefresh)
  install(FILES README.md docs/service.md docs/configuration.md docs/packages.md
    docs/refresh.md docs/text.md docs/http.md DESTINATION ${vlm_doc_dir})
  install(FILES ${VLM_PACKAGING_DIR}/deb/copyright ${vlm_changelog_gz} DESTINATION ${vlm_doc_dir})
  install(FILES ${vlm_unit_file} DESTINATION usr/lib/systemd/system)
  install(FILES ${VLM_PACKAGING_DIR}/deb/sysusers.conf DESTINATION usr/lib/sysusers.d RENAME vlmrefresh.conf)
  install(FILES ${VLM_PACKAGING_DIR}/deb/lintian-overrides
    DESTINATION usr/share/lintian/overrides RENAME vlmrefresh)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "VlmRefresh developers <vlmrefresh@example.org>")
  set(CPACK_DEBIAN_PACKAGE_SECTION net)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The synopsis is CPACK_PACKAGE_DESCRIPTION_SUMMARY; this is the long text.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "VlmRefresh requests one configured HTTP or HTTPS address on a timetable
(every few seconds, or once an hour at a fixed minute and second), reduces
each answer to a one-line result and writes it with date, time and status
code to a cache file and a daily log. It runs as the systemd service
VlmRefresh from /opt/vlmrefresh, as the system user vlmrefresh, configured
by config.ini beside the executable.")
  # The libraries the executable links (libcurl among them) come from
  # dpkg-shlibdeps; HTTPS needs the CA certificates as well, and the
  # maintainer scripts make the system user with systemd-sysusers.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "ca-certificates, systemd | systemd-sysusers")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${VLM_PACKAGING_DIR}/deb/postinst ${VLM_PACKAGING_DIR}/deb/prerm ${VLM_PACKAGING_DIR}/deb/postrm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
endif()

include(CPack)
