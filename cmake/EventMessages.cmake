# The sentences of the service's events, from one source: service/EventMessages.mc.
#   Windows build: windmc makes the message table, which goes into the
#     executable's resources (VLM_EVENT_RESOURCES, added to VlmRefreshSvc).
#   Both builds: generated/EventMessages.h holds the same sentences as a table
#     for the Linux syslog lines (and the probe that compares both sides).
set(VLM_EVENT_MC ${CMAKE_SOURCE_DIR}/service/EventMessages.mc)
set(VLM_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VLM_EVENT_MC})

# Each message: "MessageId=N", then after "Language=English" and after
# "Language=Chinese" its text in that language, one line up to a line
# holding only ".". A message without both languages stops the configure
# step, so a message added later cannot miss one of them.
file(STRINGS ${VLM_EVENT_MC} vlm_mc_lines ENCODING UTF-8)
set(VLM_EVENT_MESSAGE_ROWS "")
set(vlm_id "")
set(vlm_lang "")
function(vlm_event_row)
  if(vlm_id STREQUAL "")
    return()
  endif()
  foreach(lang English Chinese)
    if(NOT DEFINED vlm_text_${lang})
      message(FATAL_ERROR "${VLM_EVENT_MC}: message ${vlm_id} has no ${lang} text")
    endif()
    string(REPLACE "\\" "\\\\" text "${vlm_text_${lang}}")
    string(REPLACE "\"" "\\\"" vlm_c_${lang} "${text}")
  endforeach()
  set(VLM_EVENT_MESSAGE_ROWS
    "${VLM_EVENT_MESSAGE_ROWS}    {${vlm_id}, \"${vlm_c_English}\", \"${vlm_c_Chinese}\"},\n" PARENT_SCOPE)
endfunction()
foreach(vlm_line IN LISTS vlm_mc_lines)
  string(REGEX REPLACE "\r$" "" vlm_line "${vlm_line}")
  if(NOT vlm_lang STREQUAL "")
    if(vlm_line STREQUAL ".")
      if(NOT DEFINED vlm_text_${vlm_lang})
        message(FATAL_ERROR "${VLM_EVENT_MC}: message ${vlm_id} has an empty ${vlm_lang} text")
      endif()
      set(vlm_lang "")
    elseif(DEFINED vlm_text_${vlm_lang})
      message(FATAL_ERROR "${VLM_EVENT_MC}: message ${vlm_id} has more than one ${vlm_lang} line")
    else()
      set(vlm_text_${vlm_lang} "${vlm_line}")
    endif()
  elseif(vlm_line MATCHES "^MessageId=([0-9]+)$")
    vlm_event_row()
    set(vlm_id ${CMAKE_MATCH_1})
    unset(vlm_text_English)
    unset(vlm_text_Chinese)
  elseif(vlm_line MATCHES "^Language=(English|Chinese)$")
    if(vlm_id STREQUAL "")
      message(FATAL_ERROR "${VLM_EVENT_MC}: a text without a MessageId")
    endif()
    set(vlm_lang ${CMAKE_MATCH_1})
  endif()
endforeach()
if(NOT vlm_lang STREQUAL "")
  message(FATAL_ERROR "${VLM_EVENT_MC}: the last text has no closing \".\"")
endif()
vlm_event_row()
if(VLM_EVENT_MESSAGE_ROWS STREQUAL "")
  message(FATAL_ERROR "${VLM_EVENT_MC}: no complete message")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/EventMessages.h.in ${VLM_GENERATED_DIR}/EventMessages.h @ONLY)

set(VLM_EVENT_RESOURCES "")
if(WIN32)
  # windmc sits beside windres in the cross toolchain.
  string(REGEX REPLACE "windres([^/]*)$" "windmc\\1" VLM_WINDMC "${CMAKE_RC_COMPILER}")
  add_custom_command(
    OUTPUT ${VLM_GENERATED_DIR}/EventMessages.rc ${VLM_GENERATED_DIR}/MSG00409.bin
           ${VLM_GENERATED_DIR}/MSG00804.bin
    # The .mc file is UTF-8 (-C 65001); the table holds UTF-16 texts (-U), which
    # Windows shows right whatever its ANSI code page.
    # Its own header (the symbolic names, unused) goes aside: it would take
    # the place of the table above.
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VLM_GENERATED_DIR}/windmc
    COMMAND ${VLM_WINDMC} -C 65001 -U -h ${VLM_GENERATED_DIR}/windmc -r ${VLM_GENERATED_DIR}
            ${VLM_EVENT_MC}
    DEPENDS ${VLM_EVENT_MC}
    COMMENT "Message table from EventMessages.mc")
  set(VLM_EVENT_RESOURCES ${VLM_GENERATED_DIR}/EventMessages.rc)
  set_source_files_properties(${VLM_EVENT_RESOURCES} PROPERTIES
    GENERATED TRUE
    OBJECT_DEPENDS "${VLM_GENERATED_DIR}/MSG00409.bin;${VLM_GENERATED_DIR}/MSG00804.bin"
    # windres looks for the .bin files in the include directories.
    COMPILE_OPTIONS "-I${VLM_GENERATED_DIR}")
endif()
