# vario_version_info(TARGET DESCRIPTION): gives a Windows program the version information
# (VERSIONINFO) that the file's properties show, with the version of project(VERSION).
function(vario_version_info target description)
  if(NOT WIN32)
    return()
  endif()
  set(VARIO_FILE_DESCRIPTION ${description})
  set(VARIO_INTERNAL_NAME ${target})
  set(VARIO_ORIGINAL_FILENAME ${target}.exe)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/version_info.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
