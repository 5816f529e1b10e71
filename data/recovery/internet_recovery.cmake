# The table of Internet Recovery versions (data/recovery/internet_recovery.tsv), embedded
# in stickforge_core as the text of a generated header.
set(RECOVERY_TABLE ${CMAKE_SOURCE_DIR}/data/recovery/internet_recovery.tsv)
set(RECOVERY_TABLE_HEADER ${CMAKE_BINARY_DIR}/generated/internet_recovery_data.h)
add_custom_command(
  OUTPUT ${RECOVERY_TABLE_HEADER}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${RECOVERY_TABLE} -DOUTPUT=${RECOVERY_TABLE_HEADER}
          -P ${CMAKE_SOURCE_DIR}/data/recovery/embed_table.cmake
  DEPENDS ${RECOVERY_TABLE} ${CMAKE_SOURCE_DIR}/data/recovery/embed_table.cmake
  COMMENT "Embedding the Internet Recovery table"
  VERBATIM)
target_sources(stickforge_core PRIVATE ${RECOVERY_TABLE_HEADER})
target_include_directories(stickforge_core PRIVATE ${CMAKE_BINARY_DIR}/generated)
