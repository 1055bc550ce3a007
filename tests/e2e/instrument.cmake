# The whole instrument on both platforms: ORVEXVario against the development simulator
# and data server, keys pressed as a person would; the cockpit keys and the command line.
foreach(platform linux windows)
  set(labels e2e)
  if(platform STREQUAL windows)
    set(labels wine)
  endif()
  set(cases simulator no_simulator off_flag_disabled network network_bad_reply network_split_reply mute_server silent_server dropped_syns
            reset_mid_run flapping keys fast_arrows simulator_restarted off_flag_simulator_killed window_procedure_write_fails
            pacing paced_keys damping_30 damping_0 topmost dial_faces_simulator dial_faces_network)
  if(platform STREQUAL linux)
    # The Linux stand-in of the link and the Linux program's signals.
    list(APPEND cases simulator_stops_reading squatted_runtime_dir end_signals)
  endif()
  foreach(case ${cases})
    set(name ${labels}.instrument.${platform}.${case})
    set(case_labels ${labels})
    if(case STREQUAL flapping)
      list(APPEND case_labels slow)
    endif()
    vario_e2e_test(${name} "${case_labels}" instrument.sh ${platform} ${case} $<TARGET_FILE:vario-gauge-probe>)
    # On the window manager's display, one test at a time.
    set(locks vario_instrument vario_wm_display)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${locks}")
    if(case STREQUAL simulator_stops_reading)
      set_tests_properties(${name} PROPERTIES LABELS "${labels};slow")
    endif()
    if(case STREQUAL keys)
      set_tests_properties(${name} PROPERTIES FIXTURES_SETUP instrument_sessions)
    endif()
  endforeach()
  # The command line, with no display, images or window manager.
  vario_e2e_test(${labels}.instrument.${platform}.arguments "${labels}" instrument.sh ${platform} arguments $<TARGET_FILE:vario-gauge-probe>)
endforeach()
# The Windows program file's manifest and version information, read from the file.
vario_e2e_test(e2e.instrument.windows.resources "e2e" instrument.sh windows resources $<TARGET_FILE:vario-gauge-probe>)
vario_e2e_test(wine.instrument.same_session_file "wine" instrument.sh linux same_session_file $<TARGET_FILE:vario-gauge-probe>)
set_tests_properties(wine.instrument.same_session_file PROPERTIES FIXTURES_REQUIRED instrument_sessions)
