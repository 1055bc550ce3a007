# The whole instrument on both platforms: ORVEXVario against the development simulator
# and data server, keys pressed as a person would.
foreach(platform linux windows)
  set(labels e2e)
  if(platform STREQUAL windows)
    set(labels wine)
  endif()
  foreach(case simulator no_simulator network network_bad_reply keys)
    set(name ${labels}.instrument.${platform}.${case})
    vario_e2e_test(${name} "${labels}" instrument.sh ${platform} ${case} $<TARGET_FILE:vario-gauge-probe>)
    # Cases whose gauges run at the same time have been seen to end one another's
    # gauge: the instrument cases take turns.
    set(locks vario_instrument)
    if(case MATCHES "^(keys|network)$" OR (platform STREQUAL windows AND case MATCHES "^(simulator|no_simulator)$"))
      # On the window manager's display, one test at a time.
      list(APPEND locks vario_wm_display)
    endif()
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${locks}")
    if(case STREQUAL keys)
      set_tests_properties(${name} PROPERTIES FIXTURES_SETUP instrument_sessions)
    endif()
  endforeach()
endforeach()
vario_e2e_test(wine.instrument.same_session_file "wine" instrument.sh linux same_session_file $<TARGET_FILE:vario-gauge-probe>)
set_tests_properties(wine.instrument.same_session_file PROPERTIES FIXTURES_REQUIRED instrument_sessions)
