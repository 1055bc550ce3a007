# Start-up of the program on both platforms: configuration file, icon file, images,
# and a display that cannot hold the window.
foreach(platform linux windows)
  set(labels e2e)
  if(platform STREQUAL windows)
    set(labels wine)
  endif()
  set(cases no_config bad_width empty_width missing_icon invalid_icon no_display bad_images bad_gauge_settings)
  if(platform STREQUAL linux)
    # A display without GL; Wine's desktop process would stay on it, so Linux only.
    list(APPEND cases no_gl_display)
  endif()
  foreach(case ${cases})
    vario_e2e_test(${labels}.startup.${platform}.${case} "${labels}" startup.sh ${platform} ${case})
    if(case STREQUAL no_config)
      # It runs the gauge and presses Escape, taking turns with the instrument cases.
      set_tests_properties(${labels}.startup.${platform}.${case} PROPERTIES RESOURCE_LOCK vario_instrument)
    endif()
  endforeach()
endforeach()
