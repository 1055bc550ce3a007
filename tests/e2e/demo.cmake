# scripts/demo in each mode, ended as Ctrl-C or a service manager would end it.
foreach(demo_case "default;INT" "network;INT" "network;TERM" "windows;INT")
  list(GET demo_case 0 mode)
  list(GET demo_case 1 signal)
  set(options)
  set(labels e2e)
  if(mode STREQUAL network)
    set(options --network)
  elseif(mode STREQUAL windows)
    set(options --windows)
    set(labels wine)
  endif()
  string(TOLOWER ${signal} signal_name)
  set(name ${labels}.demo.${mode}.sig${signal_name})
  vario_e2e_test(${name} "${labels}" demo.sh ${signal} ${options})
  # The demo builds what it runs and uses its own folder: one at a time. The script
  # gives up on a demo that does not start within four minutes, before CTest's limit.
  set_tests_properties(${name} PROPERTIES RESOURCE_LOCK vario_demo TIMEOUT 400)
endforeach()
