# The sentences of the service's events, from one source: service/EventMessages.mc.
#   Windows build: windmc makes the message table, which goes into the
#     executable's resources (VLM_EVENT_RESOURCES, added to VlmRefreshSvc).
#   Both builds: generated/EventMessages.h holds the same sentences as a table
#     for the Linux syslog lines (and the probe that compares both sides).
set(VLM_EVENT_MC ${CMAKE_SOURCE_DIR}/service/EventMessages.mc)
set(VLM_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VLM_EVENT_MC})

# Each message: "MessageId=N", then after "Language=English" its text lines
# up to a line holding only ".".
file(STRINGS ${VLM_EVENT_MC} vlm_mc_lines)
set(VLM_EVENT_MESSAGE_ROWS "")
set(vlm_id "")
set(vlm_in_text FALSE)
set(vlm_text "")
foreach(vlm_line IN LISTS vlm_mc_lines)
  string(REGEX REPLACE "\r$" "" vlm_line "${vlm_line}")
  if(vlm_in_text)
    if(vlm_line STREQUAL ".")
      string(REPLACE "\\" "\\\\" vlm_text "${vlm_text}")
      string(REPLACE "\"" "\\\"" vlm_text "${vlm_text}")
      string(APPEND VLM_EVENT_MESSAGE_ROWS "    {${vlm_id}, \"${vlm_text}\"},\n")
      set(vlm_in_text FALSE)
      set(vlm_id "")
    elseif(vlm_text STREQUAL "")
      set(vlm_text "${vlm_line}")
    else()
      message(FATAL_ERROR "${VLM_EVENT_MC}: message ${vlm_id} has more than one line")
    endif()
  elseif(vlm_line MATCHES "^MessageId=([0-9]+)$")
    set(vlm_id ${CMAKE_MATCH_1})
  elseif(vlm_line MATCHES "^Language=English$")
    if(vlm_id STREQUAL "")
      message(FATAL_ERROR "${VLM_EVENT_MC}: a text without a MessageId")
    endif()
    set(vlm_in_text TRUE)
    set(vlm_text "")
  endif()
endforeach()
if(VLM_EVENT_MESSAGE_ROWS STREQUAL "" OR vlm_in_text)
  message(FATAL_ERROR "${VLM_EVENT_MC}: no complete message")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/EventMessages.h.in ${VLM_GENERATED_DIR}/EventMessages.h @ONLY)

set(VLM_EVENT_RESOURCES "")
if(WIN32)
  # windmc sits beside windres in the cross toolchain.
  string(REGEX REPLACE "windres([^/]*)$" "windmc\\1" VLM_WINDMC "${CMAKE_RC_COMPILER}")
  add_custom_command(
    OUTPUT ${VLM_GENERATED_DIR}/EventMessages.rc ${VLM_GENERATED_DIR}/MSG00409.bin
    COMMAND ${VLM_WINDMC} -h ${VLM_GENERATED_DIR} -r ${VLM_GENERATED_DIR} ${VLM_EVENT_MC}
    DEPENDS ${VLM_EVENT_MC}
    COMMENT "Message table from EventMessages.mc")
  set(VLM_EVENT_RESOURCES ${VLM_GENERATED_DIR}/EventMessages.rc)
  set_source_files_properties(${VLM_EVENT_RESOURCES} PROPERTIES
    GENERATED TRUE
    OBJECT_DEPENDS ${VLM_GENERATED_DIR}/MSG00409.bin
    # windres looks for MSG00409.bin in the include directories.
    COMPILE_OPTIONS "-I${VLM_GENERATED_DIR}")
endif()
