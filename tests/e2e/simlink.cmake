# The simulator link between real processes: the client against vario-simhost, natively
# and under Wine. The Wine cases share one window class in one prefix, so they take turns.
foreach(case scripted zero_versions old_addon wrong_sim_version rejected vanished no_simulator private_area other_user)
  vario_e2e_test(e2e.simlink.linux.${case} "e2e" simlink.sh linux ${case})
endforeach()
vario_e2e_test(e2e.simlink.linux.timed_out "e2e;slow" simlink.sh linux timed_out)
foreach(case scripted zero_versions rejected vanished no_simulator)
  vario_e2e_test(wine.simlink.windows.${case} "wine" simlink.sh windows ${case})
  set_tests_properties(wine.simlink.windows.${case} PROPERTIES RESOURCE_LOCK vario_simlink_wine_window)
endforeach()
