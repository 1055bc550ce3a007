# Start-up of the program on both platforms: configuration file and icon file.
foreach(platform linux windows)
  set(labels e2e)
  if(platform STREQUAL windows)
    set(labels wine)
  endif()
  foreach(case no_config bad_width empty_width missing_icon invalid_icon)
    vario_e2e_test(${labels}.startup.${platform}.${case} "${labels}" startup.sh ${platform} ${case})
    if(case STREQUAL no_config)
      # It runs the gauge and presses Escape, taking turns with the instrument cases.
      set_tests_properties(${labels}.startup.${platform}.${case} PROPERTIES RESOURCE_LOCK vario_instrument)
    endif()
  endforeach()
endforeach()
